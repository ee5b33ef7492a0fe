#pragma once

#include <QWidget>
#include <array>

class QLabel;
class QPushButton;

namespace palaverly {

class PermissionsSnapshot;

// The closing page of the wizard: "Готово" when everything is granted, otherwise "Почти готово"
// with one row per missing permission and a way to the settings window.
class DonePane : public QWidget {
    Q_OBJECT
public:
    explicit DonePane(QWidget* parent = nullptr);

    // Shows the page for these permission states.
    void showSnapshot(const PermissionsSnapshot& snapshot);
    // What does not work because a service is not set up; empty hides the line and its button.
    void showServicesNotice(const QString& notice);

signals:
    void openSettingsClicked();
    void openServicesClicked();

private:
    QLabel* m_icon = nullptr;
    QLabel* m_title = nullptr;
    QLabel* m_text = nullptr;
    std::array<QWidget*, 3> m_limitations{}; // microphone, screen recording, accessibility
    QPushButton* m_settingsButton = nullptr;
    QWidget* m_services = nullptr;
    QLabel* m_servicesText = nullptr;
};

} // namespace palaverly
