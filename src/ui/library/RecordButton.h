#pragma once

#include <QToolButton>

class QMenu;

namespace palaverly {

class AppSettings;
class LibraryRecorder;

// The library window's toolbar item: "Остановить запись" while recording, otherwise the
// "Новая запись" menu with a meeting and a quick note, each with its hotkey. Follows the
// recorder and the hotkey settings. `settings` may be null (no hotkeys shown).
class RecordButton : public QToolButton {
    Q_OBJECT

public:
    RecordButton(LibraryRecorder& recorder, AppSettings* settings, QWidget* parent = nullptr);

    QMenu* newRecordingMenu() const { return m_menu; }

private:
    void refresh();
    void rebuildMenu();

    LibraryRecorder& m_recorder;
    AppSettings* m_settings = nullptr;
    QMenu* m_menu = nullptr;
};

} // namespace palaverly
