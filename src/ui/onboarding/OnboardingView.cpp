#include "ui/onboarding/OnboardingView.h"

#include "system/NotificationCenter.h"
#include "system/PermissionsSnapshot.h"
#include "ui/onboarding/DonePane.h"
#include "ui/onboarding/WelcomePane.h"
#include "ui/widgets/PermissionPane.h"
#include "ui/widgets/ProgressDots.h"
#include "ui/widgets/SessionFeaturesView.h"
#include "ui/widgets/WindowStyle.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <QWindow>

namespace palaverly {

OnboardingView::OnboardingView(std::unique_ptr<PermissionsSnapshot> snapshot, NotificationCenter& notifications,
    std::function<void()> onFinish, QWidget* parent)
    : QWidget(parent)
    , m_snapshot(std::move(snapshot))
    , m_notifications(notifications)
    , m_onFinish(std::move(onFinish))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(32, 22, 32, 22);
    layout->setSpacing(12);

    m_dots = new ProgressDots(static_cast<int>(kAllOnboardingSteps.size()), this);
    layout->addWidget(m_dots, 0, Qt::AlignHCenter);

    m_pages = new QStackedWidget(this);
    m_pages->addWidget(new WelcomePane(m_pages));
    for (std::size_t index = 0; index < kAllPermissionKinds.size(); ++index) {
        auto* pane = new PermissionPane(kAllPermissionKinds[index], m_pages);
        m_permissionPanes[index] = pane;
        m_pages->addWidget(pane);
        connect(pane, &PermissionPane::requestClicked, this, &OnboardingView::request);
        connect(pane, &PermissionPane::openSettingsClicked, this,
            [this](PermissionKind kind) { m_snapshot->openSystemSettings(kind); });
        if (pane->kind() == PermissionKind::accessibility && m_snapshot->sessionInput()) {
            auto* features = new SessionFeaturesView(*m_snapshot->sessionInput(), pane);
            features->setContentsMargins(12, 10, 12, 0);
            pane->setDetails(features);
        }
    }
    m_donePane = new DonePane(m_pages);
    m_pages->addWidget(m_donePane);
    connect(m_donePane, &DonePane::openSettingsClicked, this, [this] {
        m_notifications.post(QString::fromLatin1(notifications::kOpenSettings));
        if (m_onFinish)
            m_onFinish();
    });
    connect(m_donePane, &DonePane::openServicesClicked, this, [this] {
        m_notifications.post(
            QString::fromLatin1(notifications::kOpenSettings), {{QStringLiteral("pane"), QStringLiteral("services")}});
        if (m_onFinish)
            m_onFinish();
    });
    layout->addWidget(m_pages, 1);

    auto* bar = new QHBoxLayout;
    bar->setContentsMargins(0, 0, 0, 0);
    m_backButton = new QPushButton(QStringLiteral("Назад"), this);
    m_backButton->setObjectName(QStringLiteral("backButton"));
    m_backButton->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Left));
    m_backButton->setMinimumHeight(34);
    m_backButton->setStyleSheet(QStringLiteral("QPushButton { padding: 6px 18px; }"));
    connect(m_backButton, &QPushButton::clicked, this, &OnboardingView::goBack);
    m_primaryButton = new QPushButton(this);
    m_primaryButton->setObjectName(QStringLiteral("primaryButton"));
    m_primaryButton->setMinimumHeight(34);
    style::makeProminent(m_primaryButton);
    connect(m_primaryButton, &QPushButton::clicked, this, &OnboardingView::goForward);
    bar->addWidget(m_backButton);
    bar->addStretch(1);
    bar->addWidget(m_primaryButton);
    layout->addLayout(bar);

    for (auto changed : {&PermissionsSnapshot::microphoneChanged, &PermissionsSnapshot::screenRecordingChanged,
             &PermissionsSnapshot::accessibilityChanged})
        connect(m_snapshot.get(), changed, this, &OnboardingView::updatePages);
    connect(qGuiApp, &QGuiApplication::focusWindowChanged, this, [this](QWindow* window) {
        if (window && isVisible())
            refreshSnapshot();
    });
    setStep(OnboardingStep::welcome);
}

OnboardingView::~OnboardingView() = default;

void OnboardingView::setServicesNotice(std::function<QString()> notice)
{
    m_servicesNotice = std::move(notice);
    updatePages();
}

void OnboardingView::goBack()
{
    if (const auto previous = previousStep(m_step); previous && m_step != OnboardingStep::done)
        setStep(*previous);
    refreshSnapshot();
}

void OnboardingView::goForward()
{
    const auto next = nextStep(m_step);
    if (!next) {
        // Finishing closes this view and drops it; nothing is left to refresh.
        if (m_onFinish)
            m_onFinish();
        return;
    }
    setStep(*next);
    refreshSnapshot();
}

void OnboardingView::setStep(OnboardingStep step)
{
    m_step = step;
    m_dots->setCurrent(static_cast<int>(step));
    m_pages->setCurrentIndex(static_cast<int>(step));
    const bool permissionPage = step != OnboardingStep::welcome && step != OnboardingStep::done;
    m_backButton->setVisible(permissionPage);
    switch (step) {
    case OnboardingStep::welcome:
        m_primaryButton->setText(QStringLiteral("Начать"));
        break;
    case OnboardingStep::done:
        m_primaryButton->setText(QStringLiteral("Готово"));
        break;
    default:
        m_primaryButton->setText(QStringLiteral("Далее"));
        break;
    }
    updatePages();
}

void OnboardingView::refreshSnapshot()
{
    m_snapshot->refresh();
    updatePages();
}

void OnboardingView::updatePages()
{
    for (PermissionPane* pane : m_permissionPanes)
        pane->setState(m_snapshot->status(pane->kind()), m_requestInFlight);
    m_donePane->showSnapshot(*m_snapshot);
    m_donePane->showServicesNotice(m_servicesNotice ? m_servicesNotice() : QString());
}

void OnboardingView::request(PermissionKind kind)
{
    if (m_requestInFlight)
        return;
    m_requestInFlight = true;
    updatePages();
    // The answer arrives through the snapshot's event loop, and never after the snapshot (which
    // this view owns) is gone.
    m_snapshot->request(kind, [this](PermissionStatus) {
        m_snapshot->refresh();
        m_requestInFlight = false;
        updatePages();
    });
}

} // namespace palaverly
