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
#include "system/ServiceSettings.h"
#include "system/SessionInput.h"

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
    m_services = std::make_unique<ServiceSettings>(defaults);

    // Every job asks for its client when it starts, so the services chosen at that moment serve it.
    const ServiceSettings* services = m_services.get();
    auto dependencies = std::make_unique<RecorderDependencies>();
    dependencies->transcriber = [services] { return makeTranscriber(services->config()); };
    dependencies->chat = [services] { return makeChatClient(services->config()); };
    m_recorder = std::make_unique<RecorderModel>(*m_store, m_settings.get(), std::move(dependencies));

    MenuBarController::Platform platform;
    DictationManager::Dependencies dictation;
    dictation.transcriber
        = [services] { return makeTranscriber(services->config(), nullptr, TranscriptUse::dictation); };
    platform.dictation = std::make_unique<DictationManager>(std::move(dictation));
    m_menuBar = std::make_unique<MenuBarController>(
        *m_recorder, *m_store, *m_settings, *m_services, defaults, *m_notifications, std::move(platform));
}

Application::~Application()
{
    // A recording still running when the program ends is finished and kept.
    if (m_recorder->isRecording())
        m_recorder->stopCurrent();
}

} // namespace palaverly
