#include "ui/settings/SettingsServicesPane.h"

#include "common/BackgroundJob.h"
#include "common/PlaceholderAddress.h"
#include "system/ServiceSettings.h"
#include "ui/logic/ServicesText.h"
#include "ui/widgets/ViewStyle.h"
#include "ui/widgets/WindowStyle.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace palaverly {

namespace {

constexpr int kLabelColumn = 0;
constexpr int kControlColumn = 1;

QLabel* rowLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

QLineEdit* lineEdit(const char* name, const QString& placeholder, QWidget* parent)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    edit->setPlaceholderText(placeholder);
    edit->setClearButtonEnabled(true);
    return edit;
}

QLineEdit* keyEdit(const char* name, QWidget* parent)
{
    auto* edit = lineEdit(name, QStringLiteral("необязательно"), parent);
    // Shown while typed, hidden once the field is left.
    edit->setEchoMode(QLineEdit::PasswordEchoOnEdit);
    edit->setInputMethodHints(Qt::ImhHiddenText | Qt::ImhSensitiveData | Qt::ImhNoPredictiveText);
    return edit;
}

// A stored address is shown as it is; a placeholder address of a build without the service
// leaves the field empty, with the example in its place.
QString shownAddress(const std::string& address)
{
    return isPlaceholderAddress(address) ? QString() : QString::fromStdString(address);
}

void setIfIdle(QLineEdit* edit, const QString& text)
{
    if (!edit->hasFocus() && edit->text() != text)
        edit->setText(text);
}

} // namespace

SettingsServicesPane::SettingsServicesPane(ServiceSettings& services, QWidget* parent)
    : QWidget(parent)
    , m_services(services)
{
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(28, 20, 28, 24);
    grid->setHorizontalSpacing(14);
    grid->setVerticalSpacing(10);
    grid->setColumnStretch(kControlColumn, 1);
    grid->setColumnMinimumWidth(kLabelColumn, 110);
    int row = 0;
    buildTranscription(grid, row);
    grid->addWidget(style::separatorLine(this), row++, kLabelColumn, 1, 2);
    buildChat(grid, row);
    grid->addWidget(style::separatorLine(this), row++, kLabelColumn, 1, 2);

    auto* storage = new QHBoxLayout;
    storage->setSpacing(8);
    m_keyStorageIcon = new QLabel(this);
    m_keyStorage = style::wrappedLabel({}, true, this);
    m_keyStorage->setObjectName(QStringLiteral("keyStorageText"));
    m_keyFileButton = new QPushButton(QStringLiteral("Хранить в файле…"), this);
    m_keyFileButton->setObjectName(QStringLiteral("keyFileButton"));
    storage->addWidget(m_keyStorageIcon, 0, Qt::AlignTop);
    storage->addWidget(m_keyStorage, 1);
    storage->addWidget(m_keyFileButton, 0, Qt::AlignVCenter);
    grid->addLayout(storage, row++, kLabelColumn, 1, 2);
    auto* note = style::wrappedLabel(QStringLiteral("Изменения действуют со следующей записи: идущая расшифровка "
                                                    "закончится с прежними настройками."),
        true, this);
    grid->addWidget(note, row++, kLabelColumn, 1, 2);
    grid->setRowStretch(row, 1);
    connect(m_keyFileButton, &QPushButton::clicked, this, &SettingsServicesPane::askToKeepKeysInFile);

    connect(&m_services, &ServiceSettings::changed, this, &SettingsServicesPane::refreshFields);
    connect(&m_services, &ServiceSettings::keyStorageChanged, this, &SettingsServicesPane::updateKeyStorage);
    refreshFields();
    updateKeyStorage();
}

SettingsServicesPane::~SettingsServicesPane() = default;

QLayout* SettingsServicesPane::checkRow(Group& group, const char* name)
{
    group.check = new QPushButton(QStringLiteral("Проверить"), this);
    group.check->setObjectName(QLatin1String(name) + QStringLiteral("Check"));
    group.result = style::wrappedLabel({}, false, this);
    group.result->setObjectName(QLatin1String(name) + QStringLiteral("Result"));
    auto* row = new QHBoxLayout;
    row->setSpacing(10);
    row->addWidget(group.check, 0, Qt::AlignTop);
    row->addWidget(group.result, 1);
    return row;
}

void SettingsServicesPane::buildTranscription(QGridLayout* grid, int& row)
{
    auto* heading = style::titleLabel(QStringLiteral("Распознавание речи"), 1, this);
    grid->addWidget(heading, row++, kLabelColumn, 1, 2);

    m_protocol = new QComboBox(this);
    m_protocol->setObjectName(QStringLiteral("protocolBox"));
    m_protocol->addItem(QStringLiteral("Сервис заданий (загрузка и опрос)"), QStringLiteral("jobs"));
    m_protocol->addItem(QStringLiteral("OpenAI-совместимый (/v1/audio/transcriptions)"), QStringLiteral("openai"));
    grid->addWidget(rowLabel(QStringLiteral("Протокол:"), this), row, kLabelColumn);
    grid->addWidget(m_protocol, row++, kControlColumn, Qt::AlignLeft);
    m_protocolHint = style::wrappedLabel({}, true, this);
    m_protocolHint->setObjectName(QStringLiteral("protocolHint"));
    grid->addWidget(m_protocolHint, row++, kControlColumn);

    m_transcription.address = lineEdit("transcriptionAddress", {}, this);
    grid->addWidget(rowLabel(QStringLiteral("Адрес:"), this), row, kLabelColumn);
    grid->addWidget(m_transcription.address, row++, kControlColumn);

    m_transcription.model = lineEdit("transcriptionModel", QStringLiteral("whisper-1"), this);
    auto* modelLabel = rowLabel(QStringLiteral("Модель:"), this);
    grid->addWidget(modelLabel, row, kLabelColumn);
    grid->addWidget(m_transcription.model, row++, kControlColumn);
    m_language = lineEdit("transcriptionLanguage", QStringLiteral("определять автоматически"), this);
    m_language->setToolTip(QStringLiteral("Код языка ISO 639-1, например ru или en"));
    auto* languageLabel = rowLabel(QStringLiteral("Язык:"), this);
    grid->addWidget(languageLabel, row, kLabelColumn);
    grid->addWidget(m_language, row++, kControlColumn);
    m_openaiOnly = {modelLabel, m_transcription.model, languageLabel, m_language};

    m_transcription.key = keyEdit("transcriptionKey", this);
    grid->addWidget(rowLabel(QStringLiteral("API-ключ:"), this), row, kLabelColumn);
    grid->addWidget(m_transcription.key, row++, kControlColumn);

    grid->addLayout(checkRow(m_transcription, "transcription"), row++, kControlColumn);

    connect(m_protocol, &QComboBox::activated, this, [this] {
        m_services.setTranscriptionApi(
            transcriptionApiFrom(m_protocol->currentData().toString().toStdString()).value_or(TranscriptionApi::jobs));
        updateProtocol();
    });
    connect(m_transcription.address, &QLineEdit::editingFinished, this,
        [this] { m_services.setTranscriptionUrl(m_transcription.address->text().toStdString()); });
    connect(m_transcription.model, &QLineEdit::editingFinished, this,
        [this] { m_services.setTranscriptionModel(m_transcription.model->text().toStdString()); });
    connect(m_language, &QLineEdit::editingFinished, this,
        [this] { m_services.setTranscriptionLanguage(m_language->text().toStdString()); });
    connect(m_transcription.key, &QLineEdit::editingFinished, this,
        [this] { m_services.setTranscriptionKey(m_transcription.key->text().toStdString()); });
    connect(m_transcription.check, &QPushButton::clicked, this, [this] { runCheck(m_transcription, true); });
}

void SettingsServicesPane::buildChat(QGridLayout* grid, int& row)
{
    grid->addWidget(style::titleLabel(QStringLiteral("Итоги и названия"), 1, this), row++, kLabelColumn, 1, 2);
    auto* hint = style::wrappedLabel(
        QStringLiteral("OpenAI-совместимый сервис /v1/chat/completions: пишет названия записей и итоги."), true, this);
    grid->addWidget(hint, row++, kControlColumn);

    m_chat.address = lineEdit("chatAddress", QStringLiteral("https://llm.example.com/v1/chat/completions"), this);
    grid->addWidget(rowLabel(QStringLiteral("Адрес:"), this), row, kLabelColumn);
    grid->addWidget(m_chat.address, row++, kControlColumn);
    m_chat.model = lineEdit("chatModel", QString::fromLatin1(OpenRouterClient::kModel), this);
    grid->addWidget(rowLabel(QStringLiteral("Модель:"), this), row, kLabelColumn);
    grid->addWidget(m_chat.model, row++, kControlColumn);
    m_chat.key = keyEdit("chatKey", this);
    grid->addWidget(rowLabel(QStringLiteral("API-ключ:"), this), row, kLabelColumn);
    grid->addWidget(m_chat.key, row++, kControlColumn);

    grid->addLayout(checkRow(m_chat, "chat"), row++, kControlColumn);

    connect(m_chat.address, &QLineEdit::editingFinished, this,
        [this] { m_services.setChatUrl(m_chat.address->text().toStdString()); });
    connect(m_chat.model, &QLineEdit::editingFinished, this,
        [this] { m_services.setChatModel(m_chat.model->text().toStdString()); });
    connect(m_chat.key, &QLineEdit::editingFinished, this,
        [this] { m_services.setChatKey(m_chat.key->text().toStdString()); });
    connect(m_chat.check, &QPushButton::clicked, this, [this] { runCheck(m_chat, false); });
}

void SettingsServicesPane::commitFields()
{
    m_services.setTranscriptionUrl(m_transcription.address->text().toStdString());
    m_services.setTranscriptionModel(m_transcription.model->text().toStdString());
    m_services.setTranscriptionLanguage(m_language->text().toStdString());
    m_services.setTranscriptionKey(m_transcription.key->text().toStdString());
    m_services.setChatUrl(m_chat.address->text().toStdString());
    m_services.setChatModel(m_chat.model->text().toStdString());
    m_services.setChatKey(m_chat.key->text().toStdString());
}

void SettingsServicesPane::refreshFields()
{
    const ServiceConfig config = m_services.config();
    m_protocol->setCurrentIndex(config.transcriptionApi == TranscriptionApi::openai ? 1 : 0);
    setIfIdle(m_transcription.address, shownAddress(config.transcriptionUrl));
    setIfIdle(m_transcription.model, QString::fromStdString(config.transcriptionModel));
    setIfIdle(m_language, QString::fromStdString(config.transcriptionLanguage));
    setIfIdle(m_transcription.key, QString::fromStdString(m_services.transcriptionKey()));
    setIfIdle(m_chat.address, shownAddress(config.chatUrl));
    setIfIdle(m_chat.model, QString::fromStdString(config.chatModel));
    setIfIdle(m_chat.key, QString::fromStdString(m_services.chatKey()));
    updateProtocol();
}

void SettingsServicesPane::updateProtocol()
{
    const bool openai = m_protocol->currentIndex() == 1;
    for (QWidget* widget : m_openaiOnly)
        widget->setVisible(openai);
    m_transcription.address->setPlaceholderText(
        openai ? QStringLiteral("http://127.0.0.1:8000") : QStringLiteral("https://asr.example.com"));
    m_protocolHint->setText(openai ? QStringLiteral("Один запрос с файлом; подойдёт и распознаватель на этом "
                                                    "компьютере. Говорящие не разделяются.")
                                   : QStringLiteral("Загрузка файла и опрос задания; во встречах говорящие "
                                                    "разделяются."));
}

void SettingsServicesPane::updateKeyStorage()
{
    const auto storage = m_services.keyStorage();
    m_keyStorage->setText(servicesText::keyStorage(storage, QString::fromStdString(m_services.keyFilePath().string())));
    const bool unsafe = storage == ServiceSettings::KeyStorage::memoryOnly;
    if (unsafe)
        style::setSymbol(m_keyStorageIcon, QStringLiteral("exclamationmark.triangle.fill"), 16, style::systemOrange());
    else
        style::setSymbol(m_keyStorageIcon, QStringLiteral("lock.shield"), 16, style::secondaryText(palette()));
    m_keyFileButton->setVisible(unsafe);
}

void SettingsServicesPane::runCheck(Group& group, bool transcription)
{
    commitFields();
    const ServiceConfig config = m_services.config();
    const bool keyGiven = !(transcription ? config.transcriptionKey : config.chatKey).empty();
    const int serial = ++group.serial;
    group.check->setEnabled(false);
    group.result->setText(QStringLiteral("Проверяю…"));
    style::setTextColor(group.result, style::secondaryText(palette()));
    // The check runs on a thread of its own; the window stays responsive meanwhile.
    group.job = std::make_unique<BackgroundJob>(
        [this, &group, config, transcription, keyGiven, serial](std::stop_token stop) {
            const serviceCheck::Outcome outcome
                = transcription ? serviceCheck::transcription(config, stop) : serviceCheck::chat(config, stop);
            if (stop.stop_requested())
                return;
            postTo(this, [this, &group, outcome, keyGiven, serial] {
                if (serial != group.serial)
                    return;
                group.job.reset();
                group.check->setEnabled(true);
                group.result->setText(servicesText::checkResult(outcome, keyGiven));
                const bool good = outcome.kind == serviceCheck::Outcome::Kind::answers;
                style::setTextColor(group.result, good ? style::systemGreen() : style::systemRed());
            });
        });
}

void SettingsServicesPane::askToKeepKeysInFile()
{
    QPushButton* confirm = nullptr;
    QMessageBox* box = style::confirmationDialog(this,
        QStringLiteral("Ключи будут записаны открытым текстом в файл %1. Читать его может только ваша учётная "
                       "запись, но надёжнее запустить связку ключей (GNOME Keyring, KWallet или KeePassXC).")
            .arg(QString::fromStdString(m_services.keyFilePath().string())),
        QStringLiteral("Хранить в файле"), &confirm);
    box->setObjectName(QStringLiteral("keyFileDialog"));
    box->setText(QStringLiteral("Хранить ключи в файле?"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    connect(box, &QMessageBox::buttonClicked, this, [this, confirm](QAbstractButton* button) {
        if (button != confirm)
            return;
        commitFields();
        if (const auto failure = m_services.keepKeysInFile())
            m_keyStorage->setText(QString::fromStdString(*failure));
    });
    box->open();
}

} // namespace palaverly
