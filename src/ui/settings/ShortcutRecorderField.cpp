#include "ui/settings/ShortcutRecorderField.h"

#include "ui/widgets/SymbolIcon.h"
#include "ui/widgets/ViewStyle.h"
#include "ui/widgets/WindowStyle.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>

namespace palaverly {

namespace {

constexpr int kMessageWidth = 320;

// Keys that only change the modifiers; pressing one alone is not a combination.
bool isModifierKey(int key)
{
    switch (key) {
    case Qt::Key_Control:
    case Qt::Key_Shift:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
    case Qt::Key_ScrollLock:
    case Qt::Key_Mode_switch:
        return true;
    default:
        return false;
    }
}

} // namespace

ShortcutRecorderField::ShortcutRecorderField(QWidget* parent)
    : QWidget(parent)
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(3);
    auto* layout = new QHBoxLayout;
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    column->addLayout(layout);
    m_message = style::wrappedLabel({}, false, this);
    m_message->setObjectName(QStringLiteral("recorderMessage"));
    m_message->setFixedWidth(kMessageWidth);
    style::setTextColor(m_message, style::systemRed());
    m_message->hide();
    column->addWidget(m_message);
    m_field = new QPushButton(this);
    m_field->setObjectName(QStringLiteral("recorderField"));
    m_field->setMinimumWidth(150);
    m_field->setFocusPolicy(Qt::TabFocus);
    connect(m_field, &QPushButton::clicked, this, [this] {
        if (m_capturing)
            stopCapturing();
        else
            startCapturing();
    });
    m_clearButton = new QToolButton(this);
    m_clearButton->setObjectName(QStringLiteral("clearButton"));
    m_clearButton->setToolTip(QStringLiteral("Очистить"));
    m_clearButton->setAutoRaise(true);
    m_clearButton->setIconSize(QSize(14, 14));
    m_clearButton->setCursor(Qt::PointingHandCursor);
    connect(m_clearButton, &QToolButton::clicked, this, [this] { assign(HotkeyConfig{0, 0}); });
    layout->addWidget(m_field);
    layout->addWidget(m_clearButton);
    layout->addStretch(1); // the field keeps its width when the message under it is wider
    changeEvent(nullptr);
    updateLabel();
}

ShortcutRecorderField::~ShortcutRecorderField()
{
    if (m_capturing)
        qApp->removeEventFilter(this);
}

void ShortcutRecorderField::setHotkey(const HotkeyConfig& value)
{
    m_hotkey = value;
    updateLabel();
}

QString ShortcutRecorderField::labelText() const
{
    if (m_capturing)
        return QStringLiteral("Нажмите…");
    if (m_hotkey.keyCode != 0)
        return m_hotkey.displayString();
    return QStringLiteral("Не задан");
}

QString ShortcutRecorderField::message() const
{
    return m_message->text();
}

void ShortcutRecorderField::showMessage(const QString& text)
{
    m_message->setText(text);
    // Every line of it: the row the field sits in is only as high as the field asks for.
    m_message->setFixedHeight(text.isEmpty() ? 0 : m_message->heightForWidth(kMessageWidth));
    m_message->setVisible(!text.isEmpty());
}

void ShortcutRecorderField::startCapturing()
{
    if (m_capturing)
        return;
    showMessage({});
    m_capturing = true;
    qApp->installEventFilter(this);
    // The keyboard of the whole session, so that a combination some program holds (this one's
    // own hotkeys and dictation key included) comes here instead of setting that program off.
    m_field->grabKeyboard();
    updateLabel();
}

void ShortcutRecorderField::stopCapturing()
{
    if (!m_capturing)
        return;
    m_capturing = false;
    qApp->removeEventFilter(this);
    m_field->releaseKeyboard();
    updateLabel();
}

void ShortcutRecorderField::assign(const HotkeyConfig& value)
{
    showMessage({});
    m_hotkey = value;
    updateLabel();
    emit hotkeyEdited(value);
}

bool ShortcutRecorderField::eventFilter(QObject* watched, QEvent* event)
{
    if (!m_capturing)
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::ShortcutOverride:
        // Accepted, so no shortcut of any window fires; the key press then comes here.
        event->accept();
        return true;
    case QEvent::KeyRelease:
        return true;
    case QEvent::KeyPress: {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->isAutoRepeat() || isModifierKey(key->key()))
            return true;
        const HotkeyConfig pressed = HotkeyConfig::fromKeyEvent(*key);
        if (key->key() == Qt::Key_Escape || pressed.keyCode == kEscapeKeyCode) {
            stopCapturing();
            return true;
        }
        constexpr quint32 anyModifier
            = HotkeyConfig::kCommand | HotkeyConfig::kOption | HotkeyConfig::kControl | HotkeyConfig::kShift;
        if (pressed.keyCode == 0 || (pressed.modifiers & anyModifier) == 0)
            return true;
        stopCapturing();
        if (const auto other = usedElsewhere ? usedElsewhere(pressed) : std::nullopt) {
            // Two shortcuts on one combination: only one of them could ever be taken.
            showMessage(QStringLiteral("%1 уже назначено на «%2». Выберите другое сочетание.")
                            .arg(pressed.displayString(), *other));
            return true;
        }
        assign(pressed);
        return true;
    }
    default:
        return QWidget::eventFilter(watched, event);
    }
}

void ShortcutRecorderField::hideEvent(QHideEvent* event)
{
    stopCapturing();
    QWidget::hideEvent(event);
}

void ShortcutRecorderField::changeEvent(QEvent* event)
{
    if (!event || event->type() == QEvent::PaletteChange) {
        QColor color = palette().color(QPalette::WindowText);
        color.setAlphaF(0.45f);
        m_clearButton->setIcon(symbolPixmap(QStringLiteral("xmark.circle.fill"), 14, color));
    }
    if (event)
        QWidget::changeEvent(event);
}

void ShortcutRecorderField::updateLabel()
{
    m_field->setText(labelText());
    const QColor accent = style::accentColor();
    m_field->setStyleSheet(m_capturing
            ? QStringLiteral("QPushButton { border: 2px solid %1; border-radius: 5px; padding: 4px 10px; color: %1; }")
                  .arg(accent.name())
            : QString());
}

} // namespace palaverly
