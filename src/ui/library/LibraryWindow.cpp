#include "ui/library/LibraryWindow.h"

#include "ui/library/LibraryView.h"
#include "ui/library/RecordButton.h"

#include <QGuiApplication>
#include <QScreen>
#include <QToolBar>

namespace palaverly {

LibraryWindow::LibraryWindow(RecordingStore& store, LibraryRecorder& recorder, AppSettings* settings, QWidget* parent)
    : QMainWindow(parent)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Заметки"));
    setMinimumSize(kMinimumSize);
    resize(kDefaultSize);
    m_view = new LibraryView(store, recorder, settings, this);
    setCentralWidget(m_view);

    auto* toolbar = new QToolBar(QStringLiteral("Заметки"), this);
    toolbar->setObjectName(QStringLiteral("libraryToolbar"));
    toolbar->setMovable(false);
    toolbar->setFloatable(false);
    toolbar->toggleViewAction()->setEnabled(false);
    toolbar->setContextMenuPolicy(Qt::PreventContextMenu);
    toolbar->addWidget(m_view->recordButton());
    addToolBar(Qt::TopToolBarArea, toolbar);
    setUnifiedTitleAndToolBarOnMac(true);
}

LibraryWindow* LibraryWindow::showOrCreate(
    QPointer<LibraryWindow>& window, RecordingStore& store, LibraryRecorder& recorder, AppSettings* settings)
{
    if (!window) {
        window = new LibraryWindow(store, recorder, settings);
        if (QScreen* screen = QGuiApplication::primaryScreen()) {
            QRect frame(QPoint(), window->size());
            frame.moveCenter(screen->availableGeometry().center());
            window->move(frame.topLeft());
        }
    }
    window->show();
    window->setWindowState((window->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    window->raise();
    window->activateWindow();
    return window;
}

} // namespace palaverly
