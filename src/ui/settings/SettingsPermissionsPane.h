#pragma once

#include "system/Permissions.h"

#include <QWidget>
#include <array>
#include <optional>

class QLabel;
class QPushButton;

namespace palaverly {

class NotificationCenter;
class PermissionsSnapshot;

// The "Разрешения" pane: the three permission states with a way to request or fix each, and
// the button that opens the first-run wizard again. Its owner refreshes the snapshot when a
// window becomes active. Main thread; the snapshot and the centre must outlive the pane.
class SettingsPermissionsPane : public QWidget {
    Q_OBJECT
public:
    SettingsPermissionsPane(
        PermissionsSnapshot& snapshot, NotificationCenter& notifications, QWidget* parent = nullptr);

    // The permission being requested, if any.
    std::optional<PermissionKind> requestInFlight() const { return m_requestInFlight; }

private:
    struct Row {
        QLabel* stateIcon = nullptr;
        QLabel* stateText = nullptr;
        QPushButton* button = nullptr;
    };

    void updateRows();
    void buttonClicked(PermissionKind kind);

    PermissionsSnapshot& m_snapshot;
    NotificationCenter& m_notifications;
    std::optional<PermissionKind> m_requestInFlight;
    std::array<Row, 3> m_rows{};
};

} // namespace palaverly
