#include "app/Application.h"

#include "app/MenuBarController.h"
#include "dictation/DictationHotkeyMonitor.h"
#include "dictation/DictationManager.h"
#include "model/RecordingStore.h"
#include "recorder/RecorderDependencies.h"
#include "recorder/RecorderModel.h"
#include "system/AppSettings.h"
#include "system/GlobalHotkeyManager.h"
#include "system/NotificationCenter.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QStringList>
#include <QTranslator>

namespace palaverly {

Application::Application(QSettings& defaults, const std::filesystem::path& libraryFolder)
{
    // The interface is always Russian.
    defaults.setValue(QStringLiteral("AppleLanguages"), QStringList{QStringLiteral("ru")});
    QLocale::setDefault(QLocale(QStringLiteral("ru_RU")));
    // Qt's own texts too: the standard context menu of text fields, dialog buttons.
    m_qtTranslation = std::make_unique<QTranslator>();
    if (m_qtTranslation->load(QLocale(QStringLiteral("ru_RU")), QStringLiteral("qtbase"), QStringLiteral("_"),
            QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(m_qtTranslation.get());

    m_notifications = std::make_unique<NotificationCenter>();
    m_store = std::make_unique<RecordingStore>(libraryFolder, RecordingStore::InitialScan::inBackground);
    m_settings = std::make_unique<AppSettings>(defaults, *m_notifications);
    m_recorder = std::make_unique<RecorderModel>(*m_store, m_settings.get());
    m_menuBar = std::make_unique<MenuBarController>(
        *m_recorder, *m_store, *m_settings, defaults, *m_notifications, MenuBarController::Platform{});
}

Application::~Application()
{
    // A recording still running when the program ends is finished and kept.
    if (m_recorder->isRecording())
        m_recorder->stopCurrent();
}

} // namespace palaverly
