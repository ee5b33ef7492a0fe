#include "ui/widgets/PermissionsSnapshotFactory.h"

#include "system/PermissionsSnapshot.h"
#include "system/SoundServerProbe.h"
#include "system/SyntheticInputProbe.h"

namespace palaverly {

PermissionsSnapshotFactory systemPermissionsSnapshots(QSettings& store)
{
    // One set of probes for the whole program, so every window starts from the last answer.
    static const PermissionsSnapshot::Probes probes{SoundServerProbe::create(), SyntheticInputProbe::create(),
        std::make_shared<std::optional<PermissionsSnapshot::Reading>>()};
    return [&store] { return std::make_unique<PermissionsSnapshot>(store, probes); };
}

} // namespace palaverly
