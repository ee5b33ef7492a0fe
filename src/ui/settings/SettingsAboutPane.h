#pragma once

#include <QString>
#include <QWidget>

class QLabel;
class QSettings;

namespace palaverly {

class NotificationCenter;

// The "О приложении" pane: the mark, the name, the version with its build number, the update
// check button, when updates were last looked for, and the site and support links. The last
// check time is read again whenever the pane is shown or one of the program's windows becomes
// active. Main thread; the store and the centre must outlive the pane.
class SettingsAboutPane : public QWidget {
    Q_OBJECT
public:
    struct Product {
        QString shortVersion;
        QString buildNumber;
        QString feedUrl;
    };
    // The values compiled into this build.
    static Product builtProduct();

    SettingsAboutPane(QSettings& store, NotificationCenter& notifications, Product product = builtProduct(),
        QWidget* parent = nullptr);

    void refreshLastCheck();

protected:
    void showEvent(QShowEvent* event) override;

private:
    QSettings& m_store;
    QLabel* m_lastCheck = nullptr;
};

} // namespace palaverly
