#pragma once

#include <functional>
#include <memory>

class QSettings;

namespace palaverly {

class PermissionsSnapshot;

// Makes the permission snapshot a window shows; tests hand in snapshots over probes of their
// choosing. Main thread.
using PermissionsSnapshotFactory = std::function<std::unique_ptr<PermissionsSnapshot>()>;

// Snapshots of this session's sound server and display, keeping their flags in `store`.
PermissionsSnapshotFactory systemPermissionsSnapshots(QSettings& store);

} // namespace palaverly
