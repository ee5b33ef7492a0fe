#pragma once

#include <QColor>
#include <QPointer>
#include <QScrollArea>
#include <QString>
#include <QWidget>
#include <functional>

class QLabel;
class QPushButton;
class QVariantAnimation;

namespace palaverly {

// A symbol that can turn (a job in progress) or breathe (waiting for a result).
class SymbolView : public QWidget {
    Q_OBJECT

public:
    enum class Motion { none, spinning, rotating };
    SymbolView(const QString& symbol, int size, const QColor& tint, QWidget* parent = nullptr);

    void setSymbol(const QString& symbol, const QColor& tint);
    void setMotion(Motion motion);
    Motion motion() const { return m_motion; }
    const QString& symbol() const { return m_symbol; }
    QSize sizeHint() const override { return QSize(m_size, m_size); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QString m_symbol;
    int m_size;
    QColor m_tint;
    Motion m_motion = Motion::none;
    qreal m_phase = 0;
    QVariantAnimation* m_animation = nullptr;
};

// The placeholder of a pane that has nothing to show yet: a symbol, a title, a message and an
// optional action, centred. Every text is shown as plain text.
class EmptyState : public QWidget {
    Q_OBJECT

public:
    struct Content {
        QString icon;
        QString title;
        QString message;
        bool spinning = false;
        bool rotating = false;
        QColor tint;
        // Optional button under the message; ownership passes to the view.
        QWidget* action = nullptr;
        int iconSize = 32;
        // Optional text from outside under the message (why something failed): shortened, the
        // whole of it in the tooltip.
        QString detail;
    };
    // Titles and messages wrap within this width.
    static constexpr int kTextWidth = 360;

    explicit EmptyState(const Content& content, QWidget* parent = nullptr);

    QString title() const;
    QString message() const;
    void setMessage(const QString& message);
    // The detail line as shown; empty without one.
    QLabel* detailLabel() const { return m_detail; }
    SymbolView* symbol() const { return m_symbol; }
    QWidget* action() const { return m_action; }

private:
    SymbolView* m_symbol = nullptr;
    QLabel* m_title = nullptr;
    QLabel* m_message = nullptr;
    QLabel* m_detail = nullptr;
    QPointer<QWidget> m_action;
};

// Holds the placeholder of a pane; when the pane is lower than the placeholder, it scrolls
// rather than squeezing it.
class PlaceholderArea : public QScrollArea {
    Q_OBJECT

public:
    explicit PlaceholderArea(QWidget* parent = nullptr);
    // Replaces the shown placeholder.
    EmptyState* showContent(const EmptyState::Content& content);
    EmptyState* placeholder() const { return m_placeholder; }
    // Room kept free at the bottom (for a bar floating over the pane).
    void setBottomInset(int inset) { setViewportMargins(0, 0, 0, inset); }

private:
    QPointer<EmptyState> m_placeholder;
};

// A prominent push button filled with a colour (the "prominent" buttons of the panes).
QPushButton* prominentButton(const QString& text, const QString& symbol, const QColor& fill, QWidget* parent = nullptr);

// The detail column while several recordings are selected.
class MultiSelectionView : public QWidget {
    Q_OBJECT

public:
    explicit MultiSelectionView(QWidget* parent = nullptr);
    void setCount(std::size_t count);
    QPushButton* deleteButton() const { return m_delete; }

signals:
    void deleteRequested();

private:
    QLabel* m_title = nullptr;
    QPushButton* m_delete = nullptr;
};

} // namespace palaverly
