#pragma once

#include "services/ServiceCheck.h"

#include <QWidget>
#include <memory>

class QComboBox;
class QGridLayout;
class QLabel;
class QLayout;
class QLineEdit;
class QPushButton;

namespace palaverly {

class BackgroundJob;
class ServiceSettings;

// The "Сервисы" pane: which speech-recognition service transcribes the recordings (the job
// service or an OpenAI-compatible endpoint; its address, model, language and key) and which
// chat-completions endpoint writes titles and summaries (address, model, key). A field writes its
// setting when it is left or confirmed; keys go to the keyring, never to the settings file.
// "Проверить" asks the service in the background and says in plain words whether it answers and
// accepts the key. The line at the bottom says where the keys are kept and, without a keyring,
// offers to keep them in a file after asking. Main thread; `services` must outlive the pane.
class SettingsServicesPane : public QWidget {
    Q_OBJECT
public:
    explicit SettingsServicesPane(ServiceSettings& services, QWidget* parent = nullptr);
    ~SettingsServicesPane() override;

    QComboBox* protocolBox() const { return m_protocol; }
    QLineEdit* transcriptionAddress() const { return m_transcription.address; }
    QLineEdit* transcriptionModel() const { return m_transcription.model; }
    QLineEdit* transcriptionLanguage() const { return m_language; }
    QLineEdit* transcriptionKey() const { return m_transcription.key; }
    QPushButton* transcriptionCheck() const { return m_transcription.check; }
    QLabel* transcriptionResult() const { return m_transcription.result; }
    QLineEdit* chatAddress() const { return m_chat.address; }
    QLineEdit* chatModel() const { return m_chat.model; }
    QLineEdit* chatKey() const { return m_chat.key; }
    QPushButton* chatCheck() const { return m_chat.check; }
    QLabel* chatResult() const { return m_chat.result; }
    QLabel* keyStorageText() const { return m_keyStorage; }
    QPushButton* keyFileButton() const { return m_keyFileButton; }

private:
    struct Group {
        QLineEdit* address = nullptr;
        QLineEdit* model = nullptr;
        QLineEdit* key = nullptr;
        QPushButton* check = nullptr;
        QLabel* result = nullptr;
        std::unique_ptr<BackgroundJob> job;
        int serial = 0;
    };

    // The "Проверить" button with the line for its answer.
    QLayout* checkRow(Group& group, const char* name);
    void buildTranscription(QGridLayout* grid, int& row);
    void buildChat(QGridLayout* grid, int& row);
    void commitFields();
    void refreshFields();
    void updateProtocol();
    void updateKeyStorage();
    void runCheck(Group& group, bool transcription);
    void askToKeepKeysInFile();

    ServiceSettings& m_services;
    QComboBox* m_protocol = nullptr;
    QLabel* m_protocolHint = nullptr;
    QLineEdit* m_language = nullptr;
    std::vector<QWidget*> m_openaiOnly;
    Group m_transcription;
    Group m_chat;
    QLabel* m_keyStorageIcon = nullptr;
    QLabel* m_keyStorage = nullptr;
    QPushButton* m_keyFileButton = nullptr;
};

} // namespace palaverly
