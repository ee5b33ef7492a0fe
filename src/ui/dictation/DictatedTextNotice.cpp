#include "ui/dictation/DictatedTextNotice.h"

#include "ui/widgets/WindowStyle.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace palaverly {

DictatedTextNotice::DictatedTextNotice(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint)
{
    setWindowTitle(QStringLiteral("Palaverly"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 16, 20, 16);
    layout->setSpacing(10);
    layout->addWidget(style::titleLabel(QStringLiteral("Текст не удалось вставить"), 1, this));
    layout->addWidget(style::wrappedLabel(
        QStringLiteral("Буфер обмена не принял продиктованный текст. Скопируйте его отсюда."), true, this));
    m_text = new QPlainTextEdit(this);
    m_text->setReadOnly(true);
    m_text->setMinimumSize(360, 90);
    layout->addWidget(m_text, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto* dismiss = new QPushButton(QStringLiteral("Закрыть"), this);
    m_copy = new QPushButton(QStringLiteral("Скопировать"), this);
    style::makeProminent(m_copy);
    buttons->addWidget(dismiss);
    buttons->addWidget(m_copy);
    layout->addLayout(buttons);

    connect(dismiss, &QPushButton::clicked, this, &QWidget::close);
    connect(m_copy, &QPushButton::clicked, this, [this] {
        QGuiApplication::clipboard()->setText(text(), QClipboard::Clipboard);
        close();
    });
}

void DictatedTextNotice::offer(const QString& text)
{
    const QString shown = m_text->toPlainText();
    m_text->setPlainText(shown.isEmpty() ? text : shown + QStringLiteral("\n\n") + text);
    if (!isVisible()) {
        adjustSize();
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            QRect frame(QPoint(), size());
            frame.moveCenter(screen->availableGeometry().center());
            move(frame.topLeft());
        }
    }
    show();
    raise();
}

QString DictatedTextNotice::text() const
{
    return m_text->toPlainText();
}

} // namespace palaverly
