#pragma once

#include "system/Permissions.h"
#include "ui/onboarding/OnboardingStep.h"

#include <QWidget>
#include <functional>
#include <memory>

class QPushButton;
class QStackedWidget;

namespace palaverly {

class DonePane;
class NotificationCenter;
class PermissionPane;
class PermissionsSnapshot;
class ProgressDots;

// The wizard's content: progress dots, the page of the current step and a bottom bar with
// "Назад" (also Ctrl+Left) and the primary button. The permission states are read again whenever
// one of the program's windows becomes active, after every step change and after each request,
// so a permission granted elsewhere shows up without a restart. Main thread.
class OnboardingView : public QWidget {
    Q_OBJECT
public:
    // `onFinish` runs when "Готово" or "Доделать в Настройках" is pressed.
    OnboardingView(std::unique_ptr<PermissionsSnapshot> snapshot, NotificationCenter& notifications,
        std::function<void()> onFinish, QWidget* parent = nullptr);
    ~OnboardingView() override;

    OnboardingStep step() const { return m_step; }
    bool requestInFlight() const { return m_requestInFlight; }
    PermissionsSnapshot& snapshot() { return *m_snapshot; }

    // What the closing page says about services that are not set up (empty: nothing); asked
    // whenever that page is shown.
    void setServicesNotice(std::function<QString()> notice);

    // The bottom bar's buttons.
    void goBack();
    void goForward();

private:
    void setStep(OnboardingStep step);
    void refreshSnapshot();
    void updatePages();
    void request(PermissionKind kind);

    std::unique_ptr<PermissionsSnapshot> m_snapshot;
    NotificationCenter& m_notifications;
    std::function<void()> m_onFinish;
    std::function<QString()> m_servicesNotice;
    OnboardingStep m_step = OnboardingStep::welcome;
    bool m_requestInFlight = false;

    ProgressDots* m_dots = nullptr;
    QStackedWidget* m_pages = nullptr;
    PermissionPane* m_permissionPanes[3] = {};
    DonePane* m_donePane = nullptr;
    QPushButton* m_backButton = nullptr;
    QPushButton* m_primaryButton = nullptr;
};

} // namespace palaverly
