#pragma once

#include <QWidget>

namespace palaverly {

// The first page of the wizard: the mark, a greeting and what the program does.
class WelcomePane : public QWidget {
    Q_OBJECT
public:
    explicit WelcomePane(QWidget* parent = nullptr);
};

} // namespace palaverly
