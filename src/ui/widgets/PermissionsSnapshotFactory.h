#pragma once

#include <functional>
#include <memory>

class QSettings;

namespace palaverly {

class PermissionsSnapshot;
class SessionInput;

// Makes the permission snapshot a window shows; tests hand in snapshots over probes of their
// choosing. Main thread.
using PermissionsSnapshotFactory = std::function<std::unique_ptr<PermissionsSnapshot>()>;

// Snapshots of this session's sound server and display, keeping their flags in `store`; with
// `session` (which must outlive the snapshots) they also follow and list how keys and the paste
// work in this session.
PermissionsSnapshotFactory systemPermissionsSnapshots(QSettings& store, SessionInput* session = nullptr);

} // namespace palaverly
