#include "ui/widgets/PermissionsSnapshotFactory.h"

#include "system/PermissionsSnapshot.h"
#include "system/SoundServerProbe.h"
#include "system/SyntheticInputProbe.h"

namespace palaverly {

PermissionsSnapshotFactory systemPermissionsSnapshots(QSettings& store, SessionInput* session)
{
    return [&store, session] {
        return std::make_unique<PermissionsSnapshot>(
            store, PermissionsSnapshot::Probes{SoundServerProbe::create(), SyntheticInputProbe::create(), session});
    };
}

} // namespace palaverly
