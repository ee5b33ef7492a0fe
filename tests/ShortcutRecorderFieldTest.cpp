// The shortcut recorder fed real key events (native X11 key codes, as the X server delivers them)
// on a real X server, alone and bound to the settings in the general pane.
#include "ui/settings/ShortcutRecorderField.h"
#include "system/AppSettings.h"
#include "system/AutostartEntry.h"
#include "system/NotificationCenter.h"
#include "system/PermissionsSnapshot.h"
#include "system/SoundServerProbe.h"
#include "system/SyntheticInputProbe.h"
#include "ui/settings/SettingsGeneralPane.h"

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>
#include <gtest/gtest.h>

using namespace palaverly;

namespace {

// X11 key codes (evdev + 8) and our numbering.
constexpr quint32 kX11Escape = 9;
constexpr quint32 kX11K = 45;
constexpr quint32 kX11R = 27;
constexpr quint32 kX11ControlLeft = 37;
constexpr quint32 kX11Space = 65;
constexpr quint32 kKeyK = 40;
constexpr quint32 kKeySpace = 49;

void press(QWidget* target, int key, Qt::KeyboardModifiers modifiers, quint32 nativeKey, const QString& text = {})
{
    QKeyEvent down(QEvent::KeyPress, key, modifiers, nativeKey, 0, 0, text);
    QApplication::sendEvent(target, &down);
    QKeyEvent up(QEvent::KeyRelease, key, modifiers, nativeKey, 0, 0, text);
    QApplication::sendEvent(target, &up);
}

QPushButton* fieldButton(ShortcutRecorderField* field)
{
    return field->findChild<QPushButton*>(QStringLiteral("recorderField"));
}

void clickField(ShortcutRecorderField* field)
{
    QTest::mouseClick(fieldButton(field), Qt::LeftButton);
}

void clickClear(ShortcutRecorderField* field)
{
    QTest::mouseClick(field->findChild<QToolButton*>(QStringLiteral("clearButton")), Qt::LeftButton);
}

} // namespace

TEST(ShortcutRecorderFieldTest, CapturesOnlyCombinationsWithAModifier)
{
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* field = new ShortcutRecorderField(&window);
    auto* other = new QLineEdit(&window);
    layout->addWidget(field);
    layout->addWidget(other);
    field->setHotkey({15, 2304});
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    other->setFocus();
    QSignalSpy edited(field, &ShortcutRecorderField::hotkeyEdited);

    EXPECT_EQ(fieldButton(field)->text(), "Ctrl+Alt+R");
    EXPECT_EQ(field->findChild<QToolButton*>(QStringLiteral("clearButton"))->toolTip(), "Очистить");

    clickField(field);
    EXPECT_TRUE(field->isCapturing());
    EXPECT_EQ(fieldButton(field)->text(), "Нажмите…");
    press(other, Qt::Key_Escape, Qt::NoModifier, kX11Escape);
    EXPECT_FALSE(field->isCapturing());
    EXPECT_EQ(field->hotkey(), HotkeyConfig({15, 2304}));
    EXPECT_EQ(fieldButton(field)->text(), "Ctrl+Alt+R");

    clickField(field);
    press(other, Qt::Key_K, Qt::NoModifier, kX11K, QStringLiteral("k"));
    press(other, Qt::Key_Control, Qt::ControlModifier, kX11ControlLeft);
    EXPECT_TRUE(field->isCapturing());
    EXPECT_EQ(other->text(), ""); // swallowed, not typed into the focused field
    EXPECT_EQ(edited.count(), 0);

    press(other, Qt::Key_K, Qt::ControlModifier | Qt::AltModifier, kX11K);
    EXPECT_FALSE(field->isCapturing());
    EXPECT_EQ(field->hotkey(), HotkeyConfig({kKeyK, 2304}));
    EXPECT_EQ(fieldButton(field)->text(), "Ctrl+Alt+K");
    ASSERT_EQ(edited.count(), 1);
    EXPECT_EQ(edited.at(0).at(0).value<HotkeyConfig>(), HotkeyConfig({kKeyK, 2304}));

    // Not capturing: keys go where they were going.
    press(other, Qt::Key_K, Qt::NoModifier, kX11K, QStringLiteral("k"));
    EXPECT_EQ(other->text(), "k");

    // Clicking again, or hiding, ends capturing without a change.
    clickField(field);
    clickField(field);
    EXPECT_FALSE(field->isCapturing());
    clickField(field);
    window.hide();
    EXPECT_FALSE(field->isCapturing());
    EXPECT_EQ(edited.count(), 1);

    window.show();
    clickClear(field);
    EXPECT_EQ(field->hotkey(), HotkeyConfig({0, 0}));
    EXPECT_EQ(fieldButton(field)->text(), "Не задан");
    EXPECT_EQ(edited.count(), 2);
}

TEST(ShortcutRecorderFieldTest, TheGeneralPaneWritesTheSettingsAndFollowsThem)
{
    QTemporaryDir dir;
    QSettings store(dir.filePath("palaverly.conf"), QSettings::IniFormat);
    NotificationCenter notifications;
    int hotkeysChanged = 0;
    notifications.addObserver(
        notifications::kHotkeysChanged, &notifications, [&](const QVariantMap&) { ++hotkeysChanged; });
    AppSettings settings(store, notifications);
    PermissionsSnapshot snapshot(store, PermissionsSnapshot::Probes{});
    AutostartEntry autostart(dir.filePath("config"), QStringLiteral("/opt/palaverly/bin/palaverly"));
    SettingsGeneralPane pane(settings, snapshot, autostart);
    pane.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&pane));

    EXPECT_EQ(fieldButton(pane.meetingField())->text(), "Ctrl+Alt+R");
    EXPECT_EQ(fieldButton(pane.noteField())->text(), "Ctrl+Alt+N");
    EXPECT_EQ(fieldButton(pane.stopField())->text(), "Не задан");
    EXPECT_EQ(fieldButton(pane.dictationField())->text(), "Не задан");

    settings.setStopHotkey({kKeyK, 256}); // changed elsewhere: the field follows
    EXPECT_EQ(fieldButton(pane.stopField())->text(), "Ctrl+K");
    hotkeysChanged = 0;
    clickClear(pane.stopField());
    EXPECT_EQ(settings.stopHotkey(), HotkeyConfig({0, 0}));
    EXPECT_EQ(fieldButton(pane.stopField())->text(), "Не задан");
    EXPECT_EQ(hotkeysChanged, 1);

    // A combination another shortcut has is refused, naming that shortcut.
    clickField(pane.dictationField());
    press(&pane, Qt::Key_R, Qt::ControlModifier | Qt::AltModifier, kX11R);
    EXPECT_FALSE(pane.dictationField()->isCapturing());
    EXPECT_EQ(settings.dictationHotkey(), HotkeyConfig({0, 0}));
    EXPECT_EQ(
        pane.dictationField()->message(), "Ctrl+Alt+R уже назначено на «Новая встреча». Выберите другое сочетание.");
    EXPECT_TRUE(pane.dictationField()->findChild<QLabel*>("recorderMessage")->isVisible());
    EXPECT_EQ(hotkeysChanged, 1);

    clickField(pane.dictationField());
    EXPECT_TRUE(pane.dictationField()->message().isEmpty());
    press(&pane, Qt::Key_Space, Qt::ControlModifier | Qt::ShiftModifier, kX11Space);
    EXPECT_EQ(settings.dictationHotkey(), HotkeyConfig({kKeySpace, 256 + 512}));
    EXPECT_EQ(HotkeyConfig::fromJson(store.value(AppSettings::kDictationHotkeyKey).toByteArray()),
        HotkeyConfig({kKeySpace, 256 + 512}));
    EXPECT_EQ(hotkeysChanged, 2);

    // Without XTest the dictation cannot work; the pane says so and offers a way.
    EXPECT_TRUE(pane.findChild<QLabel*>(QStringLiteral("accessibilityText"))
                    ->text()
                    .startsWith("Нужно разрешение Accessibility"));
    EXPECT_TRUE(pane.findChild<QPushButton*>(QStringLiteral("openAccessibilityButton"))->isVisible());

    auto* autoCheck = pane.findChild<QCheckBox*>(QStringLiteral("autoCheckUpdates"));
    EXPECT_TRUE(autoCheck->isChecked());
    QTest::mouseClick(autoCheck, Qt::LeftButton);
    EXPECT_FALSE(settings.autoCheckUpdates());
    EXPECT_EQ(store.value(AppSettings::kAutoCheckUpdatesKey).toBool(), false);

    auto* startAtLogin = pane.findChild<QCheckBox*>(QStringLiteral("autostart"));
    EXPECT_FALSE(startAtLogin->isChecked());
    QTest::mouseClick(startAtLogin, Qt::LeftButton);
    EXPECT_TRUE(autostart.isEnabled());
    EXPECT_TRUE(QFile::exists(dir.filePath("config/autostart/palaverly.desktop")));
    QTest::mouseClick(startAtLogin, Qt::LeftButton);
    EXPECT_FALSE(QFile::exists(dir.filePath("config/autostart/palaverly.desktop")));
}
