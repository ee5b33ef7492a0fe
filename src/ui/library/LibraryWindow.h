#pragma once

#include <QMainWindow>
#include <QPointer>

namespace palaverly {

class AppSettings;
class LibraryRecorder;
class LibraryView;
class RecordingStore;

// The library window: the library view with its toolbar button, titled "Заметки", 1200×720 at
// first and never smaller than 880×460. It deletes itself when closed. Main thread only.
class LibraryWindow : public QMainWindow {
    Q_OBJECT

public:
    static constexpr QSize kDefaultSize{1200, 720};
    static constexpr QSize kMinimumSize{880, 460};

    // `settings` may be null (no hotkeys in the toolbar).
    LibraryWindow(RecordingStore& store, LibraryRecorder& recorder, AppSettings* settings, QWidget* parent = nullptr);

    LibraryView* view() const { return m_view; }

    // Brings `window` to the front, or makes a new one (centred on the screen) when it is gone,
    // and remembers it there.
    static LibraryWindow* showOrCreate(
        QPointer<LibraryWindow>& window, RecordingStore& store, LibraryRecorder& recorder, AppSettings* settings);

private:
    LibraryView* m_view = nullptr;
};

} // namespace palaverly
