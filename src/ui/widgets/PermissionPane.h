#pragma once

#include "system/Permissions.h"

#include <QWidget>

class QPushButton;
class QStackedWidget;

namespace palaverly {

// A wizard page for one permission: its symbol, title and why it is needed, then the state:
// granted, a "request" button (disabled while a request runs) or, when refused, a way to the
// place where the user turns it on.
class PermissionPane : public QWidget {
    Q_OBJECT
public:
    struct Texts {
        QString icon;
        QString title;
        QString explanation;
    };
    static Texts texts(PermissionKind kind);

    explicit PermissionPane(PermissionKind kind, QWidget* parent = nullptr);

    PermissionKind kind() const { return m_kind; }
    void setState(PermissionStatus status, bool requestInFlight);
    // Shows `details` below the status area; the pane takes it over.
    void setDetails(QWidget* details);

signals:
    void requestClicked(palaverly::PermissionKind kind);
    void openSettingsClicked(palaverly::PermissionKind kind);

private:
    PermissionKind m_kind;
    QStackedWidget* m_statusArea = nullptr;
    QPushButton* m_requestButton = nullptr;
    QWidget* m_details = nullptr;
};

} // namespace palaverly
