#include "services/HttpTransfer.h"

#include "FakeHttpServer.h"

#include <QTemporaryDir>
#include <fstream>
#include <gtest/gtest.h>

using namespace palaverly;
using namespace palaverly::test;
using namespace std::chrono_literals;

namespace {

std::filesystem::path writeFile(const QTemporaryDir& dir, const std::string& name, const std::string& bytes)
{
    const std::filesystem::path path = std::filesystem::path(dir.path().toStdString()) / name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

} // namespace

TEST(HttpTransferTest, SendsPartsInOrderWithExactLengthAndNoHeadersOfItsOwn)
{
    QTemporaryDir dir;
    std::string content(3 * 1024 * 1024 + 17, '\0');
    for (size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<char>((i * 131) % 251);
    const auto file = writeFile(dir, "data.bin", content);

    FakeHttpServer server({[](const RecordedRequest&) { return FakeAnswer::reply(201, "made"); }, nullptr});
    http::Request request;
    request.method = "POST";
    request.url = server.baseUrl() + "/upload?x=1";
    request.headers = {"Content-Type: application/x-test"};
    request.body = {http::BodyPart::text("head|"), http::BodyPart::fileContent(file), http::BodyPart::text(""),
        http::BodyPart::text("|tail")};
    const auto response = http::perform(request, {});
    ASSERT_TRUE(response);
    EXPECT_EQ(response->status, 201);
    EXPECT_EQ(response->body, "made");

    const auto recorded = server.requests().at(0);
    EXPECT_EQ(recorded.method, "POST");
    EXPECT_EQ(recorded.target, "/upload?x=1");
    EXPECT_EQ(recorded.body, "head|" + content + "|tail");
    EXPECT_EQ(recorded.header("Content-Length"), std::to_string(recorded.body.size()));
    EXPECT_EQ(recorded.headerNames(), (std::vector<std::string>{"content-length", "content-type", "host"}));

    request = {};
    request.url = server.baseUrl() + "/get";
    ASSERT_TRUE(http::perform(request, {}));
    EXPECT_EQ(server.requests().at(1).method, "GET");
    EXPECT_EQ(server.requests().at(1).headerNames(), std::vector<std::string>{"host"});
}

TEST(HttpTransferTest, CapsTheAnswerAndReportsFileAndConnectionFailures)
{
    FakeHttpServer server({[](const RecordedRequest& request) {
                               if (request.target == "/endless")
                                   return FakeAnswer::endless();
                               return FakeAnswer::reply(200, std::string(16, 'a'));
                           },
        nullptr});
    http::Request request;
    request.url = server.baseUrl() + "/sixteen";
    request.maxResponseBytes = 16;
    EXPECT_TRUE(http::perform(request, {}));
    request.maxResponseBytes = 15;
    auto outcome = http::perform(request, {});
    ASSERT_FALSE(outcome);
    EXPECT_EQ(outcome.error().kind, http::Error::Kind::responseTooLarge);

    request.url = server.baseUrl() + "/endless";
    request.maxResponseBytes = 1024 * 1024;
    outcome = http::perform(request, {});
    ASSERT_FALSE(outcome);
    EXPECT_EQ(outcome.error().kind, http::Error::Kind::responseTooLarge);

    request.method = "POST";
    request.body = {http::BodyPart::fileContent("/nonexistent/dir/audio.wav")};
    outcome = http::perform(request, {});
    ASSERT_FALSE(outcome);
    EXPECT_EQ(outcome.error().kind, http::Error::Kind::file);
    EXPECT_EQ(outcome.error().fileText, "Не удалось открыть файл «audio.wav»: No such file or directory");

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
