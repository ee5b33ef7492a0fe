#include "ui/onboarding/OnboardingWindowController.h"

#include "system/PermissionsSnapshot.h"
#include "ui/onboarding/OnboardingView.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSettings>

namespace palaverly {

bool OnboardingWindowController::needsOnboarding(const QSettings& store)
{
    // A boolean read back from an INI file is the text "true".
    return !store.value(QLatin1String(kHasCompletedKey), false).toBool();
}

OnboardingWindowController::OnboardingWindowController(QSettings& store, NotificationCenter& notifications,
    std::function<void()> onCompleted, PermissionsSnapshotFactory snapshots, QObject* parent)
    : QObject(parent)
    , m_store(store)
    , m_notifications(notifications)
    , m_onCompleted(std::move(onCompleted))
    , m_snapshots(snapshots ? std::move(snapshots) : systemPermissionsSnapshots(store))
{
}

OnboardingWindowController::~OnboardingWindowController()
{
    delete m_window.data();
}

QWidget* OnboardingWindowController::window() const
{
    return m_window.data();
}

void OnboardingWindowController::show()
{
    if (!m_window) {
        QPointer<OnboardingWindowController> self(this);
        m_window = new OnboardingView(m_snapshots(), m_notifications, [self] {
            if (self)
                self->finish();
        });
        m_window->setServicesNotice(m_servicesNotice);
        m_window->setWindowFlags(
            Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
        m_window->setWindowTitle(QStringLiteral("Palaverly"));
        m_window->setFixedSize(kWidth, kHeight);
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            QRect frame(QPoint(), m_window->size());
            frame.moveCenter(screen->availableGeometry().center());
            m_window->move(frame.topLeft());
        }
    }
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

void OnboardingWindowController::finish()
{
    m_store.setValue(QLatin1String(kHasCompletedKey), true);
    m_store.sync();
    if (OnboardingView* window = m_window.data()) {
        m_window.clear();
        window->hide();
        // finish() is reached from the window's own buttons, so it goes once they have returned.
        window->deleteLater();
    }
    // Copied: the action may destroy this controller and with it the member.
    const std::function<void()> completed = m_onCompleted;
    if (completed)
        completed();
}

} // namespace palaverly
