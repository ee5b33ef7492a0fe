#include "system/ServiceSettings.h"

#include "common/Log.h"
#include "common/Text.h"
#include "system/Keyring.h"

#include <QSettings>
#include <system_error>

Q_LOGGING_CATEGORY(lcServiceSettings, "ServiceSettings")

namespace palaverly {

namespace {

QString settingsKey(const char* key)
{
    return QString::fromLatin1(ServiceSettings::kGroup) + u'/' + QString::fromLatin1(key);
}

} // namespace

ServiceSettings::ServiceSettings(QSettings& store, QObject* parent)
    : ServiceSettings(store, Options{}, parent)
{
}

ServiceSettings::ServiceSettings(QSettings& store, Options options, QObject* parent)
    : QObject(parent)
    , m_store(store)
    , m_keyring(options.keyring ? std::move(options.keyring) : Keyring::create())
    , m_keyFile(options.keyFile.empty() ? KeyFile::defaultPath() : options.keyFile)
    , m_defaults(options.defaults.value_or(ServiceConfig::compiledIn()))
{
    load();
}

ServiceSettings::~ServiceSettings() = default;

std::string ServiceSettings::text(const char* key, const std::string& fallback) const
{
    const QVariant stored = m_store.value(settingsKey(key));
    if (stored.typeId() != QMetaType::QString)
        return fallback;
    const std::string value = trimmedWhitespace(stored.toString().toStdString());
    return value.empty() ? fallback : value;
}

ServiceConfig ServiceSettings::config() const
{
    ServiceConfig config = m_defaults;
    config.transcriptionApi
        = transcriptionApiFrom(text(kTranscriptionApiKey, std::string(rawValue(m_defaults.transcriptionApi))))
              .value_or(m_defaults.transcriptionApi);
    config.transcriptionUrl = text(kTranscriptionUrlKey, m_defaults.transcriptionUrl);
    config.transcriptionModel = text(kTranscriptionModelKey, m_defaults.transcriptionModel);
    config.transcriptionLanguage = text(kTranscriptionLanguageKey, m_defaults.transcriptionLanguage);
    config.chatUrl = text(kChatUrlKey, m_defaults.chatUrl);
    config.chatModel = text(kChatModelKey, m_defaults.chatModel);
    config.transcriptionKey = m_transcriptionKey.empty() ? m_defaults.transcriptionKey : m_transcriptionKey;
    config.chatKey = m_chatKey.empty() ? m_defaults.chatKey : m_chatKey;
    return config;
}

void ServiceSettings::setText(const char* key, const std::string& value, const std::string& fallback)
{
    const ServiceConfig before = config();
    const std::string trimmed = trimmedWhitespace(value);
    if (trimmed.empty() || trimmed == fallback)
        m_store.remove(settingsKey(key));
    else
        m_store.setValue(settingsKey(key), QString::fromStdString(trimmed));
    if (config() != before)
        emit changed();
}

void ServiceSettings::setTranscriptionApi(TranscriptionApi api)
{
    setText(kTranscriptionApiKey, std::string(rawValue(api)), std::string(rawValue(m_defaults.transcriptionApi)));
}

void ServiceSettings::setTranscriptionUrl(const std::string& url)
{
    setText(kTranscriptionUrlKey, url, m_defaults.transcriptionUrl);
}

void ServiceSettings::setTranscriptionModel(const std::string& model)
{
    setText(kTranscriptionModelKey, model, m_defaults.transcriptionModel);
}

void ServiceSettings::setTranscriptionLanguage(const std::string& language)
{
    setText(kTranscriptionLanguageKey, language, m_defaults.transcriptionLanguage);
}

void ServiceSettings::setChatUrl(const std::string& url)
{
    setText(kChatUrlKey, url, m_defaults.chatUrl);
}

void ServiceSettings::setChatModel(const std::string& model)
{
    setText(kChatModelKey, model, m_defaults.chatModel);
}

void ServiceSettings::setTranscriptionKey(const std::string& key)
{
    setKey(m_transcriptionKey, kTranscriptionKeyAccount, key);
}

void ServiceSettings::setChatKey(const std::string& key)
{
    setKey(m_chatKey, kChatKeyAccount, key);
}

void ServiceSettings::setKey(std::string& field, const char* account, const std::string& key)
{
    const std::string trimmed = trimmedWhitespace(key);
    if (trimmed == field)
        return;
    field = trimmed;
    emit changed();
    storeKey(account, trimmed);
}

void ServiceSettings::load()
{
    m_pendingReads = 2;
    for (const char* account : {kTranscriptionKeyAccount, kChatKeyAccount}) {
        m_keyring->read(QString::fromLatin1(account), this,
            [this, account](const Keyring::Answer& answer) { keyringAnswered(account, answer); });
    }
}

void ServiceSettings::keyringAnswered(const char* account, const Keyring::Answer& answer)
{
    const bool transcription = account == kTranscriptionKeyAccount;
    if (answer.status == Keyring::Answer::Status::done && !(transcription ? m_transcriptionKeyDirty : m_chatKeyDirty))
        (transcription ? m_transcriptionKey : m_chatKey) = answer.value;
    if (answer.status == Keyring::Answer::Status::unavailable && m_keyringError.isEmpty())
        m_keyringError = answer.error.isEmpty() ? QStringLiteral("no answer") : answer.error;
    if (--m_pendingReads > 0)
        return;

    if (!m_keyringError.isEmpty()) {
        log::error(lcServiceSettings(), QStringLiteral("Keyring unavailable: %1").arg(m_keyringError));
        const bool inFile = m_keyFile.exists();
        if (inFile) {
            const KeyFile::Keys keys = m_keyFile.read().value_or(KeyFile::Keys{});
            for (const char* name : {kTranscriptionKeyAccount, kChatKeyAccount}) {
                const bool isTranscription = name == kTranscriptionKeyAccount;
                if (const auto it = keys.find(name);
                    it != keys.end() && !(isTranscription ? m_transcriptionKeyDirty : m_chatKeyDirty))
                    (isTranscription ? m_transcriptionKey : m_chatKey) = it->second;
            }
        }
        setKeyStorage(inFile ? KeyStorage::file : KeyStorage::memoryOnly);
    } else {
        setKeyStorage(KeyStorage::keyring);
        moveKeysFromFile();
    }
    emit changed();

    for (const char* name : {kTranscriptionKeyAccount, kChatKeyAccount}) {
        const bool isTranscription = name == kTranscriptionKeyAccount;
        bool& dirty = isTranscription ? m_transcriptionKeyDirty : m_chatKeyDirty;
        if (dirty) {
            dirty = false;
            storeKey(name, isTranscription ? m_transcriptionKey : m_chatKey);
        }
    }
}

void ServiceSettings::moveKeysFromFile()
{
    // Keys kept in the file while no keyring ran go into the keyring where it has none; the file
    // is removed once the keyring holds them.
    const auto keys = m_keyFile.read();
    if (!keys)
        return;
    auto remaining = std::make_shared<int>(0);
    const auto removeFileWhenDone = [this, remaining] {
        if (*remaining == 0) {
            std::error_code ignored;
            std::filesystem::remove(m_keyFile.path(), ignored);
        }
    };
    for (const auto& [name, value] : *keys) {
        const bool isTranscription = name == kTranscriptionKeyAccount;
        if (!isTranscription && name != kChatKeyAccount)
            continue;
        std::string& key = isTranscription ? m_transcriptionKey : m_chatKey;
        if (!key.empty() || (isTranscription ? m_transcriptionKeyDirty : m_chatKeyDirty))
            continue;
        key = value;
        ++*remaining;
        m_keyring->write(
            QString::fromStdString(name), value, this, [remaining, removeFileWhenDone](const Keyring::Answer& answer) {
                if (answer.status == Keyring::Answer::Status::done) {
                    --*remaining;
                    removeFileWhenDone();
                }
            });
    }
    removeFileWhenDone();
}

void ServiceSettings::storeKey(const char* account, const std::string& value)
{
    switch (m_keyStorage) {
    case KeyStorage::loading:
        (account == kTranscriptionKeyAccount ? m_transcriptionKeyDirty : m_chatKeyDirty) = true;
        return;
    case KeyStorage::keyring:
        m_keyring->write(QString::fromLatin1(account), value, this, [this](const Keyring::Answer& answer) {
            if (answer.status == Keyring::Answer::Status::done) {
                emit keySaved(true);
                return;
            }
            m_keyringError = answer.error.isEmpty() ? QStringLiteral("?") : answer.error;
            log::error(lcServiceSettings(), QStringLiteral("Keyring unavailable: %1").arg(m_keyringError));
            setKeyStorage(KeyStorage::memoryOnly);
            emit keySaved(false);
        });
        return;
    case KeyStorage::file: {
        const auto failure = writeKeyFile();
        if (failure)
            log::error(
                lcServiceSettings(), QStringLiteral("Key file not written: %1").arg(QString::fromStdString(*failure)));
        emit keySaved(!failure);
        return;
    }
    case KeyStorage::memoryOnly:
        emit keySaved(false);
        return;
    }
}

std::optional<std::string> ServiceSettings::writeKeyFile() const
{
    return m_keyFile.write({{kTranscriptionKeyAccount, m_transcriptionKey}, {kChatKeyAccount, m_chatKey}});
}

std::optional<std::string> ServiceSettings::keepKeysInFile()
{
    if (auto failure = writeKeyFile())
        return failure;
    setKeyStorage(KeyStorage::file);
    return std::nullopt;
}

void ServiceSettings::setKeyStorage(KeyStorage storage)
{
    if (storage == m_keyStorage)
        return;
    m_keyStorage = storage;
    emit keyStorageChanged();
}

} // namespace palaverly
