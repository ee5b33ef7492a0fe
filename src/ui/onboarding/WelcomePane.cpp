#include "ui/onboarding/WelcomePane.h"

#include "ui/widgets/WindowStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace palaverly {

namespace {

// A symbol on the left, a bold title and a wrapped explanation on the right.
QWidget* featureRow(const QString& icon, const QString& title, const QString& detail, QWidget* parent)
{
    auto* row = new QWidget(parent);
    row->setObjectName(QStringLiteral("featureRow"));
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(14);
    layout->addWidget(style::symbolLabel(icon, 28, style::accentColor(), row), 0, Qt::AlignTop);
    auto* text = new QVBoxLayout;
    text->setSpacing(3);
    auto* titleLabel = style::titleLabel(title, 0, row);
    text->addWidget(titleLabel);
    text->addWidget(style::wrappedLabel(detail, true, row));
    layout->addLayout(text, 1);
    return row;
}

} // namespace

WelcomePane::WelcomePane(QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 0, 8, 0);
    layout->setSpacing(10);
    layout->addStretch(1);
    layout->addWidget(
        style::symbolLabel(QStringLiteral("BrandMark"), 64, style::accentColor(), this), 0, Qt::AlignHCenter);
    layout->addSpacing(4);
    auto* title = style::titleLabel(QStringLiteral("Добро пожаловать в Palaverly"), 8, this);
    title->setAlignment(Qt::AlignHCenter);
    layout->addWidget(title);
    auto* line = style::wrappedLabel(
        QStringLiteral("Чтобы всё это заработало, нужно три системных разрешения. Покажем по очереди."), true, this);
    line->setAlignment(Qt::AlignHCenter);
    layout->addWidget(line);
    layout->addSpacing(18);
    layout->addWidget(featureRow(QStringLiteral("person.2.wave.2"), QStringLiteral("Запись встреч"),
        QStringLiteral("Звук вашего микрофона + звук собеседников из Sber Jazz, Meet, браузера. Расшифровка с "
                       "разделением по спикерам и AI-саммари."),
        this));
    layout->addSpacing(8);
    layout->addWidget(featureRow(QStringLiteral("mic.circle"), QStringLiteral("Быстрые заметки"),
        QStringLiteral("Голосовая заметка одним кликом по иконке в меню-баре. Текст распознаётся и сохраняется "
                       "автоматически."),
        this));
    layout->addSpacing(8);
    layout->addWidget(featureRow(QStringLiteral("command"), QStringLiteral("Диктовка в любое поле"),
        QStringLiteral("Голос вместо клавиатуры в любом окне: зажали хоткей — говорите, отпустили — текст вставлен в "
                       "активное поле. Почта, Telegram, поиск, заметки."),
        this));
    layout->addStretch(1);
}

} // namespace palaverly
