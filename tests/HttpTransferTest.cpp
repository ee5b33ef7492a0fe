#include "services/HttpTransfer.h"

#include "FakeHttpServer.h"

#include <gtest/gtest.h>

using namespace palaverly;
using namespace palaverly::test;

// (Endless answers and unreadable files reach this code through the ASR client test.)
TEST(HttpTransferTest, CapsTheAnswerAtItsLimitAndReportsAServerThatIsGone)
{
    FakeHttpServer server(
        {[](const RecordedRequest&) { return FakeAnswer::reply(200, std::string(16, 'a')); }, nullptr});
    http::Request request;
    request.url = server.baseUrl() + "/sixteen";
    request.maxResponseBytes = 16;
    EXPECT_TRUE(http::perform(request, {}));
    request.maxResponseBytes = 15;
    auto outcome = http::perform(request, {});
    ASSERT_FALSE(outcome);
    EXPECT_EQ(outcome.error().kind, http::Error::Kind::responseTooLarge);

    // Nothing listens on the port of a server that is gone.
    std::string deadUrl;
    {
        FakeHttpServer gone({[](const RecordedRequest&) { return FakeAnswer::reply(200, ""); }, nullptr});
        deadUrl = gone.baseUrl();
    }
    request = {};
    request.url = deadUrl + "/";
    outcome = http::perform(request, {});
    ASSERT_FALSE(outcome);
    EXPECT_EQ(outcome.error().kind, http::Error::Kind::transport);
    EXPECT_EQ(outcome.error().transport.description(), "Не удалось подключиться к серверу.");
}

TEST(HttpTransferTest, TextOfAnAnswerIsKeptOnlyWhenItIsUtf8)
{
    EXPECT_EQ(http::utf8OrEmpty("plain"), "plain");
    EXPECT_EQ(http::utf8OrEmpty("Привет, мир — 🎙"), "Привет, мир — 🎙");
    EXPECT_EQ(http::utf8OrEmpty("bad \xff byte"), "");
    EXPECT_EQ(http::utf8OrEmpty("cut \xd0"), "");
    EXPECT_EQ(http::utf8OrEmpty("overlong \xc0\xaf"), "");
    EXPECT_EQ(http::utf8OrEmpty("surrogate \xed\xa0\x80"), "");
    EXPECT_EQ(http::utf8OrEmpty("too high \xf4\x90\x80\x80"), "");
}
