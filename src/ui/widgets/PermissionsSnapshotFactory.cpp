#include "ui/widgets/PermissionsSnapshotFactory.h"

#include "system/PermissionsSnapshot.h"
#include "system/SoundServerProbe.h"
#include "system/SyntheticInputProbe.h"

namespace palaverly {

PermissionsSnapshotFactory systemPermissionsSnapshots(QSettings& store, SessionInput* session)
{
    // One set of probes for the whole program, so every window starts from the last answer.
    static const std::shared_ptr<SoundServerProbe> sound = SoundServerProbe::create();
    static const std::shared_ptr<SyntheticInputProbe> input = SyntheticInputProbe::create();
    static const auto lastReading = std::make_shared<std::optional<PermissionsSnapshot::Reading>>();
    return [&store, session] {
        return std::make_unique<PermissionsSnapshot>(
            store, PermissionsSnapshot::Probes{sound, input, session, lastReading});
    };
}

} // namespace palaverly
