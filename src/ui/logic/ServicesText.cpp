#include "ui/logic/ServicesText.h"

namespace palaverly::servicesText {

QString checkResult(const serviceCheck::Outcome& outcome, bool keyGiven)
{
    using Kind = serviceCheck::Outcome::Kind;
    switch (outcome.kind) {
    case Kind::answers:
        return keyGiven ? QStringLiteral("Сервис отвечает, ключ принят.") : QStringLiteral("Сервис отвечает.");
    case Kind::keyRefused:
        return QStringLiteral("Сервис отвечает, но не принимает ключ (HTTP %1). Проверьте API-ключ.")
            .arg(outcome.status);
    case Kind::unreachable:
        return QStringLiteral("Сервис не отвечает. %1 Проверьте адрес.").arg(QString::fromStdString(outcome.detail));
    case Kind::unexpected: {
        QString text = outcome.status > 0
            ? QStringLiteral("Сервис ответил HTTP %1 — проверьте адрес и модель.").arg(outcome.status)
            : QStringLiteral("Сервис ответил не так, как ожидалось, — проверьте адрес.");
        if (!outcome.detail.empty())
            text += u'\n' + QString::fromStdString(outcome.detail);
        return text;
    }
    case Kind::cancelled:
        break;
    }
    return {};
}

QString notSetUpNotice(const ServiceConfig& config)
{
    const bool transcription = config.transcriptionSetUp();
    const bool chat = config.chatSetUp();
    if (!transcription && !chat)
        return QStringLiteral("Сервисы распознавания речи и итогов не настроены: записи не будут расшифрованы "
                              "и получат названия по дате.");
    if (!transcription)
        return QStringLiteral("Сервис распознавания речи не настроен: записи не будут расшифрованы.");
    if (!chat)
        return QStringLiteral("Сервис итогов не настроен: записи останутся без итогов и получат названия по дате.");
    return {};
}

QString keyStorage(ServiceSettings::KeyStorage storage, const QString& keyFile)
{
    switch (storage) {
    case ServiceSettings::KeyStorage::loading:
        return QStringLiteral("Читаем ключи из связки ключей…");
    case ServiceSettings::KeyStorage::keyring:
        return QStringLiteral("Ключи хранятся в связке ключей системы (Secret Service).");
    case ServiceSettings::KeyStorage::file:
        return QStringLiteral("Связки ключей нет, ключи хранятся в файле %1, который может читать только ваша "
                              "учётная запись.")
            .arg(keyFile);
    case ServiceSettings::KeyStorage::memoryOnly:
        break;
    }
    return QStringLiteral("Служба хранения паролей (Secret Service) не запущена, ключи негде сохранить надёжно. "
                          "Введённые ключи действуют до выхода из программы.");
}

} // namespace palaverly::servicesText
