#pragma once

#include <QWidget>

class QPlainTextEdit;
class QPushButton;

namespace palaverly {

// A small window with a dictated text that could not be pasted because the clipboard would not
// take it: the text to read and select, and a button that copies it (a click gives the clipboard
// a fresh chance) and closes the window. It opens without taking the keyboard focus; a text that
// comes while it is open is added below the ones before, so none is lost. Main thread.
class DictatedTextNotice : public QWidget {
    Q_OBJECT
public:
    explicit DictatedTextNotice(QWidget* parent = nullptr);

    // Adds `text` and brings the window up.
    void offer(const QString& text);
    QString text() const;
    QPushButton* copyButton() const { return m_copy; }

private:
    QPlainTextEdit* m_text = nullptr;
    QPushButton* m_copy = nullptr;
};

} // namespace palaverly
