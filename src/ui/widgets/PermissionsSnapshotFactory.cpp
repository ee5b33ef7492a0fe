#include "ui/widgets/PermissionsSnapshotFactory.h"

#include "system/PermissionsSnapshot.h"

namespace palaverly {

PermissionsSnapshotFactory systemPermissionsSnapshots(QSettings& store)
{
    return [&store] { return std::make_unique<PermissionsSnapshot>(store); };
}

} // namespace palaverly
