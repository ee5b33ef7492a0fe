#pragma once

#include "services/ServiceConfig.h"
#include "system/KeyFile.h"
#include "system/Keyring.h"

#include <QObject>
#include <QString>
#include <memory>
#include <optional>

class QSettings;

namespace palaverly {

// The remote services the user chose: the speech-recognition protocol, address, model and
// language, and the chat-completions address and model, in the settings group "services"
// ("transcriptionApi", "transcriptionUrl", "transcriptionModel", "transcriptionLanguage",
// "chatUrl", "chatModel"); a value that is not stored is the one compiled into the build. The two
// API keys never touch the settings file or the log: they live in the desktop's keyring
// (accounts "transcriptionApiKey" and "chatApiKey"), are read from it once at construction, and
// are held in memory for the jobs. Without a keyring they stay in memory until the user agrees
// to keep them in a file only they can read (keepKeysInFile()).
//
// Jobs take config() when they start; a change reaches the next job, not a running one. Main
// thread only; the store must outlive this object.
class ServiceSettings : public QObject {
    Q_OBJECT
public:
    static constexpr char kGroup[] = "services";
    static constexpr char kTranscriptionApiKey[] = "transcriptionApi";
    static constexpr char kTranscriptionUrlKey[] = "transcriptionUrl";
    static constexpr char kTranscriptionModelKey[] = "transcriptionModel";
    static constexpr char kTranscriptionLanguageKey[] = "transcriptionLanguage";
    static constexpr char kChatUrlKey[] = "chatUrl";
    static constexpr char kChatModelKey[] = "chatModel";
    static constexpr char kTranscriptionKeyAccount[] = "transcriptionApiKey";
    static constexpr char kChatKeyAccount[] = "chatApiKey";

    // Where the keys are kept.
    enum class KeyStorage {
        loading, // the keyring has not answered yet
        keyring,
        file, // no keyring; the user agreed to the key file
        memoryOnly, // no keyring; the keys last until the program ends unless the user agrees to the file
    };

    struct Options {
        // Empty: the desktop's keyring.
        std::unique_ptr<Keyring> keyring;
        // Empty: KeyFile::defaultPath().
        std::filesystem::path keyFile;
        // The values of fields nothing is stored for; empty: ServiceConfig::compiledIn().
        std::optional<ServiceConfig> defaults;
    };

    explicit ServiceSettings(QSettings& store, QObject* parent = nullptr);
    ServiceSettings(QSettings& store, Options options, QObject* parent = nullptr);
    ~ServiceSettings() override;

    // What a job starting now uses, keys included.
    ServiceConfig config() const;
    const ServiceConfig& defaults() const { return m_defaults; }
    // The keys the user gave (not the compiled-in ones).
    const std::string& transcriptionKey() const { return m_transcriptionKey; }
    const std::string& chatKey() const { return m_chatKey; }
    KeyStorage keyStorage() const { return m_keyStorage; }
    // Why the keyring could not be used, for the log and the pane; empty while it works.
    const QString& keyringError() const { return m_keyringError; }
    const std::filesystem::path& keyFilePath() const { return m_keyFile.path(); }

    // Each setter stores the value at once; a value equal to the build's default (or empty)
    // removes the stored one, so the default applies again.
    void setTranscriptionApi(TranscriptionApi api);
    void setTranscriptionUrl(const std::string& url);
    void setTranscriptionModel(const std::string& model);
    void setTranscriptionLanguage(const std::string& language);
    void setChatUrl(const std::string& url);
    void setChatModel(const std::string& model);
    // Keeps the key where keyStorage() says; an empty key removes it.
    void setTranscriptionKey(const std::string& key);
    void setChatKey(const std::string& key);
    // The user agreed to keep the keys in a file only they can read: writes both keys there and
    // keeps them there from now on. Returns the failure as a sentence, or nothing.
    std::optional<std::string> keepKeysInFile();

signals:
    // Any value of config() changed.
    void changed();
    void keyStorageChanged();
    // A key reached its store (the keyring or the file), or could not.
    void keySaved(bool stored);

private:
    void load();
    void keyringAnswered(const char* account, const Keyring::Answer& answer);
    void setKey(std::string& field, const char* account, const std::string& key);
    void moveKeysFromFile();
    void storeKey(const char* account, const std::string& value);
    std::optional<std::string> writeKeyFile() const;
    void setText(const char* key, const std::string& value, const std::string& fallback);
    std::string text(const char* key, const std::string& fallback) const;
    void setKeyStorage(KeyStorage storage);

    QSettings& m_store;
    std::unique_ptr<Keyring> m_keyring;
    KeyFile m_keyFile;
    ServiceConfig m_defaults;
    std::string m_transcriptionKey;
    std::string m_chatKey;
    KeyStorage m_keyStorage = KeyStorage::loading;
    QString m_keyringError;
    int m_pendingReads = 0;
    // Keys the user set while the keyring was still being read; stored once it has answered.
    bool m_transcriptionKeyDirty = false;
    bool m_chatKeyDirty = false;
};

} // namespace palaverly
