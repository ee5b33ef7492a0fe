#include "ui/updater/UpdateAlerts.h"

#include "WidgetFind.h"

#include <QTest>
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
    EXPECT_TRUE(box->informativeText().startsWith("У вас версия 1.0.0."));
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
    EXPECT_EQ(box->informativeText(), "Palaverly 1.0.0 — последняя доступная версия.");
    // A newer request replaces a box still on screen without answering it.
    alerts.showCheckFailed("Не удалось загрузить ленту обновлений.", [&] { acknowledged += 10; });
    box = alerts.currentBox();
    EXPECT_EQ(box->text(), "Не удалось проверить обновления");
    QTest::mouseClick(test::buttonWithText(box, "ОК"), Qt::LeftButton);
    EXPECT_EQ(acknowledged, 10);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); // answered boxes close themselves
    EXPECT_EQ(alerts.currentBox(), nullptr);
}
