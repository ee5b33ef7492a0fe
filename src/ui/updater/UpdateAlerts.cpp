#include "ui/updater/UpdateAlerts.h"

#include "common/BuildConfig.h"
#include "ui/widgets/SymbolIcon.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

namespace palaverly {

UpdateAlerts::UpdateAlerts(QString runningVersion, QObject* parent)
    : QObject(parent)
    , m_runningVersion(std::move(runningVersion))
{
}

UpdateAlerts::~UpdateAlerts()
{
    // Deleting a box does not answer it; the updater's replies check that it still exists.
    delete m_box.data();
}

QString UpdateAlerts::compiledVersion()
{
    return QString::fromUtf8(build::kVersion);
}

bool UpdateAlerts::isInImmediateFocus()
{
    return QGuiApplication::applicationState() == Qt::ApplicationActive;
}

QMessageBox* UpdateAlerts::makeBox(const QString& text, const QString& details)
{
    // The updater asks for one window at a time; a leftover one is replaced.
    delete m_box.data();
    auto* box = new QMessageBox;
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->setWindowTitle(QStringLiteral("Palaverly"));
    box->setIconPixmap(symbolPixmap(QStringLiteral("BrandMark"), 48, colors::accent()));
    box->setText(text);
    box->setInformativeText(details);
    m_box = box;
    return box;
}

void UpdateAlerts::present(QMessageBox* box)
{
    box->show();
    box->raise();
    box->activateWindow();
}

void UpdateAlerts::showUpdateFound(const AppcastItem& item, std::function<void(Choice)> reply)
{
    const bool hasPage = !item.downloadPage().isEmpty();
    QMessageBox* box = makeBox(QStringLiteral("Доступна новая версия Palaverly %1").arg(item.displayVersionString),
        hasPage ? QStringLiteral("У вас версия %1. Новую версию устанавливает менеджер пакетов системы: скачайте пакет "
                                 "на странице загрузки и откройте его.")
                      .arg(m_runningVersion)
                : QStringLiteral("У вас версия %1. Установите новую через менеджер пакетов системы.")
                      .arg(m_runningVersion));
    QPushButton* open = nullptr;
    if (hasPage)
        open = box->addButton(QStringLiteral("Открыть страницу загрузки"), QMessageBox::AcceptRole);
    QPushButton* later = box->addButton(QStringLiteral("Позже"), QMessageBox::RejectRole);
    box->setDefaultButton(open ? open : later);
    connect(box, &QMessageBox::finished, box, [box, open, reply = std::move(reply)] {
        reply(open && box->clickedButton() == open ? Choice::openDownloadPage : Choice::later);
    });
    present(box);
}

void UpdateAlerts::showUpToDate(std::function<void()> acknowledged)
{
    QMessageBox* box = makeBox(QStringLiteral("Обновлений нет"),
        QStringLiteral("Palaverly %1 — последняя доступная версия.").arg(m_runningVersion));
    box->setDefaultButton(box->addButton(QStringLiteral("ОК"), QMessageBox::AcceptRole));
    connect(box, &QMessageBox::finished, box, [acknowledged = std::move(acknowledged)] { acknowledged(); });
    present(box);
}

void UpdateAlerts::showCheckFailed(const QString& message, std::function<void()> acknowledged)
{
    QMessageBox* box = makeBox(QStringLiteral("Не удалось проверить обновления"), message);
    box->setIcon(QMessageBox::Warning);
    box->setDefaultButton(box->addButton(QStringLiteral("ОК"), QMessageBox::AcceptRole));
    connect(box, &QMessageBox::finished, box, [acknowledged = std::move(acknowledged)] { acknowledged(); });
    present(box);
}

void UpdateAlerts::openUrl(const QString& url)
{
    QDesktopServices::openUrl(QUrl(url));
}

} // namespace palaverly
