#pragma once

#include "updater/UpdateUserDriver.h"

#include <QMessageBox>
#include <QObject>
#include <QPointer>

namespace palaverly {

// The updater's windows: small non-modal message boxes titled "Palaverly", one at a time, and the
// desktop's browser for download pages. Main thread.
class UpdateAlerts : public QObject, public UpdateUserDriver {
    Q_OBJECT
public:
    // `runningVersion` is the version shown to people (the project version).
    explicit UpdateAlerts(QString runningVersion = compiledVersion(), QObject* parent = nullptr);
    ~UpdateAlerts() override;

    static QString compiledVersion();

    bool isInImmediateFocus() override;
    void showUpdateFound(const AppcastItem& item, std::function<void(Choice)> reply) override;
    void showUpToDate(std::function<void()> acknowledged) override;
    void showCheckFailed(const QString& message, std::function<void()> acknowledged) override;
    void openUrl(const QString& url) override;

    // The box on screen, if any (for tests and for bringing it forward).
    QMessageBox* currentBox() const { return m_box.data(); }

private:
    QMessageBox* makeBox(const QString& text, const QString& details);
    void present(QMessageBox* box);

    QString m_runningVersion;
    QPointer<QMessageBox> m_box;
};

} // namespace palaverly
