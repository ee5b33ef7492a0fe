#include "ui/dictation/DictationWiring.h"

#include "dictation/DictationHotkeyMonitor.h"
#include "dictation/DictationManager.h"
#include "ui/dictation/DictationPanelController.h"

#include <QPointer>

namespace palaverly {

void wireDictation(DictationHotkeyMonitor& monitor, DictationManager& manager, DictationPanelController& panel)
{
    QPointer<DictationManager> target(&manager);
    monitor.onPressDown = [target] {
        if (target)
            target->start();
    };
    monitor.onPressUp = [target] {
        if (target)
            target->stop();
    };
    QObject::connect(
        &manager, &DictationManager::stateChanged, &panel, [&panel] { panel.applyState(); }, Qt::QueuedConnection);
    QObject::connect(&manager, &DictationManager::textNotPlaced, &panel, &DictationPanelController::offerText);
}

} // namespace palaverly
