#include "ui/dictation/DictationPanelController.h"

#include "dictation/DictationManager.h"
#include "ui/dictation/DictatedTextNotice.h"
#include "ui/dictation/DictationPanelLayout.h"
#include "ui/dictation/DictationPanelView.h"
#include "ui/dictation/DictationPanelWindow.h"

#include <QGuiApplication>
#include <QScreen>

namespace palaverly {

DictationPanelController::DictationPanelController(DictationManager* manager, QObject* parent)
    : QObject(parent)
    , m_manager(manager)
{
}

DictationPanelController::~DictationPanelController() = default;

void DictationPanelController::show()
{
    if (m_panel || !m_manager)
        return;
    auto panel = std::make_unique<DictationPanelView>(m_manager);
    panel->setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus);
    panel->setAttribute(Qt::WA_ShowWithoutActivating);
    panel->setAttribute(Qt::WA_TranslucentBackground);
    panel->setWindowTitle(QStringLiteral("Palaverly"));
    panel->adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        panel->move(dictationpanel::panelOrigin(screen->availableGeometry(), panel->size()));
    preparePanelWindow(*panel);
    panel->show();
    m_panel = std::move(panel);
}

void DictationPanelController::hide()
{
    if (!m_panel)
        return;
    m_panel->hide();
    m_panel.reset();
}

void DictationPanelController::offerText(const QString& text)
{
    if (!m_notice)
        m_notice = std::make_unique<DictatedTextNotice>();
    m_notice->offer(text);
}

void DictationPanelController::applyState()
{
    if (!m_manager || m_manager->state().kind == DictationManager::State::Kind::idle)
        hide();
    else
        show();
}

} // namespace palaverly
