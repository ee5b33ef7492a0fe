#include "ui/updater/UpdateAlerts.h"

#include "WidgetFind.h"

#include <QDesktopServices>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>

using namespace palaverly;

TEST(UpdateAlertsTest, OneBoxAtATimeAnsweredByItsButtons)
{
    UpdateAlerts alerts("1.0.0");
    std::vector<UpdateUserDriver::Choice> choices;
    const AppcastItem withPage{"Palaverly 2.1", "21", "2.1", "https://example.org/2.1", ""};
    alerts.showUpdateFound(withPage, [&](UpdateUserDriver::Choice choice) { choices.push_back(choice); });
    QMessageBox* box = alerts.currentBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->windowTitle(), "Palaverly");
    EXPECT_EQ(box->text(), "Доступна новая версия Palaverly 2.1");
    EXPECT_TRUE(box->informativeText().contains("У вас версия 1.0.0."));
    ASSERT_NE(test::buttonWithText(box, "Позже"), nullptr);
    QTest::mouseClick(test::buttonWithText(box, "Открыть страницу загрузки"), Qt::LeftButton);
    EXPECT_EQ(choices, std::vector{UpdateUserDriver::Choice::openDownloadPage});

    // Without any address there is nothing to open; closing the box means "later".
    const AppcastItem noPage{"", "21", "2.1", "", ""};
    alerts.showUpdateFound(noPage, [&](UpdateUserDriver::Choice choice) { choices.push_back(choice); });
    box = alerts.currentBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(test::buttonWithText(box, "Открыть страницу загрузки"), nullptr);
    box->reject();
    EXPECT_EQ(choices.back(), UpdateUserDriver::Choice::later);

    int acknowledged = 0;
    alerts.showUpToDate([&] { ++acknowledged; });
    box = alerts.currentBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), "Обновлений нет");
    EXPECT_EQ(box->informativeText(), "<qt>Palaverly 1.0.0 — последняя доступная версия.</qt>");
    // A newer request replaces a box still on screen without answering it.
    alerts.showCheckFailed("Не удалось загрузить ленту обновлений.", [&] { acknowledged += 10; });
    box = alerts.currentBox();
    EXPECT_EQ(box->text(), "Не удалось проверить обновления");
    QTest::mouseClick(test::buttonWithText(box, "ОК"), Qt::LeftButton);
    EXPECT_EQ(acknowledged, 10);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); // answered boxes close themselves
    EXPECT_EQ(alerts.currentBox(), nullptr);
}

namespace {

// Stands in for the desktop's browser: records the addresses the program asks it to open.
class Browser : public QObject {
    Q_OBJECT
public:
    std::vector<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened.push_back(url); }
};

} // namespace

TEST(UpdateAlertsTest, WordsOfTheFeedAndTheServerShowAsOneLineOfPlainTextAndOnlyWebPagesOpen)
{
    UpdateAlerts alerts("1.0.0");
    const AppcastItem odd{"", "21", "<b>2.1</b> & \u202eevil\nsecond line", "file:///etc/passwd", ""};
    alerts.showUpdateFound(odd, [](UpdateUserDriver::Choice) {});
    QMessageBox* box = alerts.currentBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->textFormat(), Qt::PlainText);
    EXPECT_EQ(box->text(), "Доступна новая версия Palaverly <b>2.1</b> & evil second line");
    EXPECT_EQ(test::buttonWithText(box, "Открыть страницу загрузки"), nullptr); // no web page to open

    const QString answer
        = QStringLiteral("<a href=\"file:///\">Сервер</a> ответил:\n") + QString(200, QLatin1Char('x'));
    alerts.showCheckFailed(answer, [] {});
    box = alerts.currentBox();
    const QString line = box->informativeText();
    EXPECT_TRUE(line.startsWith("<qt>&lt;a href=&quot;file:///&quot;&gt;Сервер&lt;/a&gt; ответил: xxx"))
        << line.toStdString();
    EXPECT_FALSE(line.contains("<br>"));
    EXPECT_TRUE(line.endsWith(QStringLiteral("x…</qt>")));
    EXPECT_EQ(box->detailedText(), answer); // the whole answer stays readable

    Browser browser;
    for (const char* scheme : {"https", "file", "javascript"})
        QDesktopServices::setUrlHandler(scheme, &browser, "open");
    alerts.openUrl("https://example.org/2.1");
    alerts.openUrl("file:///etc/passwd");
    alerts.openUrl("javascript:alert(1)");
    for (const char* scheme : {"https", "file", "javascript"})
        QDesktopServices::unsetUrlHandler(scheme);
    EXPECT_EQ(browser.opened, std::vector<QUrl>{QUrl("https://example.org/2.1")});
}

#include "UpdateAlertsTest.moc"
