#include "ui/updater/UpdateAlerts.h"

#include "common/BuildConfig.h"
#include "ui/logic/UntrustedText.h"
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

namespace {

// Texts in a box are ours with the feed's or a server's words inside: one line of those words
// each, and never read as markup.
constexpr int kVersionCharacters = 40;

} // namespace

QMessageBox* UpdateAlerts::makeBox(const QString& text, const QString& details)
{
    // The updater asks for one window at a time; a leftover one is replaced.
    delete m_box.data();
    auto* box = new QMessageBox;
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->setWindowTitle(QStringLiteral("Palaverly"));
    box->setIconPixmap(symbolPixmap(QStringLiteral("BrandMark"), 48, colors::accent()));
    box->setTextFormat(Qt::PlainText);
    box->setText(text);
    // The informative line reads markup and opens links; it gets the words as written instead.
    box->setInformativeText(untrusted::asWritten(details));
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
    QMessageBox* box = makeBox(QStringLiteral("Доступна новая версия Palaverly %1")
                                   .arg(untrusted::oneLine(item.displayVersionString, kVersionCharacters)),
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
    const QString line = untrusted::oneLine(message);
    QMessageBox* box = makeBox(QStringLiteral("Не удалось проверить обновления"), line);
    if (line != message.trimmed())
        box->setDetailedText(message); // the whole answer, behind the box's details button
    box->setIcon(QMessageBox::Warning);
    box->setDefaultButton(box->addButton(QStringLiteral("ОК"), QMessageBox::AcceptRole));
    connect(box, &QMessageBox::finished, box, [acknowledged = std::move(acknowledged)] { acknowledged(); });
    present(box);
}

void UpdateAlerts::openUrl(const QString& url)
{
    if (isWebAddress(url))
        QDesktopServices::openUrl(QUrl(url));
}

} // namespace palaverly
