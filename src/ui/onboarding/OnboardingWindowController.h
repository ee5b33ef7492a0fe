#pragma once

#include "ui/widgets/PermissionsSnapshotFactory.h"

#include <QObject>
#include <QPointer>
#include <functional>

class QSettings;
class QWidget;

namespace palaverly {

class NotificationCenter;
class OnboardingView;

// Owns the first-run wizard's window (580×620, "Palaverly", closable, not resizable). Closing the
// window with its close button only hides it: the next show() brings it back on the same page.
// finish() records completion, drops the window and runs the completion action; a later show()
// starts a new wizard from the welcome page. Main thread.
class OnboardingWindowController : public QObject {
    Q_OBJECT
public:
    static constexpr char kHasCompletedKey[] = "onboarding.hasCompleted";
    static constexpr int kWidth = 580;
    static constexpr int kHeight = 620;

    // True until the wizard has been finished once (the key is missing or false).
    static bool needsOnboarding(const QSettings& store);

    // `store` and `notifications` must outlive the controller. `onCompleted` runs last in
    // finish(); it may destroy this controller (with deleteLater or directly).
    OnboardingWindowController(QSettings& store, NotificationCenter& notifications, std::function<void()> onCompleted,
        PermissionsSnapshotFactory snapshots = {}, QObject* parent = nullptr);
    ~OnboardingWindowController() override;

    // What the closing page says about services that are not set up; see OnboardingView.
    void setServicesNotice(std::function<QString()> notice) { m_servicesNotice = std::move(notice); }

    // Brings the window forward, creating it on first use.
    void show();
    // Sets the completion key, closes and drops the window, runs the completion action.
    void finish();

    // The window while it exists (shown or hidden), else null.
    QWidget* window() const;

private:
    QSettings& m_store;
    NotificationCenter& m_notifications;
    std::function<void()> m_onCompleted;
    PermissionsSnapshotFactory m_snapshots;
    std::function<QString()> m_servicesNotice;
    QPointer<OnboardingView> m_window;
};

} // namespace palaverly
