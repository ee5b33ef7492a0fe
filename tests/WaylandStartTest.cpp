// The program itself started in a Wayland session of a real compositor: weston with its headless
// back end and XWayland, on the private session bus of run-with-services.sh.
#include "QtWait.h"
#include "TestPortal.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace palaverly::test;

namespace {

class WaylandStartTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!qEnvironmentVariableIsSet("PALAVERLY_TEST_SERVICES") || QStandardPaths::findExecutable("weston").isEmpty())
            GTEST_SKIP() << "needs weston and the private bus of run-with-services.sh";
        if (QFile::exists(QStringLiteral("/run/systemd/journal/socket")))
            GTEST_SKIP() << "the program logs to the journal here, not to its standard error";
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
        m_weston.setProcessEnvironment(environment);
        m_weston.setProcessChannelMode(QProcess::MergedChannels);
        m_weston.start(QStringLiteral("weston"),
            {"--backend=headless-backend.so", "--xwayland", "--socket=palaverly-wayland", "--idle-time=0",
                "--log=" + m_runtime.filePath("weston.log")});
        // XWayland takes the first free display and says which.
        const QRegularExpression listening(QStringLiteral("xserver listening on display (:\\d+)"));
        ASSERT_TRUE(waitUntil(
            [&] {
                QFile log(m_runtime.filePath("weston.log"));
                if (!log.open(QIODevice::ReadOnly))
                    return false;
                const auto match = listening.match(QString::fromUtf8(log.readAll()));
                m_xDisplay = match.hasMatch() ? match.captured(1) : QString();
                return !m_xDisplay.isEmpty();
            },
            15000))
            << "weston did not start";
    }

    void TearDown() override
    {
        m_weston.terminate();
        if (!m_weston.waitForFinished(5000))
            m_weston.kill();
    }

    // Starts the program as a desktop's login session would, waits for its first status line
    // after `expected` appears, ends it as the session would, and returns what it logged.
    QString runProgramUntil(const QString& expected)
    {
        QTemporaryDir home;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("wayland"));
        environment.insert(QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("palaverly-wayland"));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
        environment.insert(QStringLiteral("DISPLAY"), m_xDisplay);
        environment.insert(QStringLiteral("HOME"), home.path());
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath("config"));
        environment.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath("data"));
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        QProcess program;
        program.setProcessEnvironment(environment);
        program.setProcessChannelMode(QProcess::MergedChannels);
        program.start(QStringLiteral(PALAVERLY_PROGRAM), {});
        QString output;
        waitUntil(
            [&] {
                output += QString::fromUtf8(program.readAll());
                return output.contains(expected) || program.state() == QProcess::NotRunning;
            },
            20000);
        // Its fallback window (no tray here) is an X window on XWayland.
        QProcess search;
        search.setProcessEnvironment(environment);
        search.start(QStringLiteral("xdotool"), {"search", "--name", "^Palaverly$"});
        search.waitForFinished(5000);
        m_windowOnXWayland = !search.readAllStandardOutput().trimmed().isEmpty();
        program.terminate();
        waitUntil([&] { return program.state() == QProcess::NotRunning; }, 10000);
        output += QString::fromUtf8(program.readAll());
        m_exitCode = program.exitCode();
        return output;
    }

    QTemporaryDir m_runtime;
    QProcess m_weston;
    QString m_xDisplay;
    bool m_windowOnXWayland = false;
    int m_exitCode = -1;
};

} // namespace

TEST_F(WaylandStartTest, TheProgramRunsThroughXWaylandAndSaysWhatWorks)
{
    // Without portal back ends (the bus starts the system's xdg-desktop-portal, which finds none).
    QString log = runProgramUntil(QStringLiteral("Хоткеи записи: Только в X11-сессии"));
    EXPECT_TRUE(log.contains(
        QStringLiteral("Session Wayland. Хоткеи записи: Только в X11-сессии: этот рабочий стол не предлагает портал "
                       "глобальных сочетаний клавиш. Запись запускается из меню в трее.")))
        << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("Вставка текста: Только в X11-сессии: этот рабочий стол не предлагает "
                                            "портал удалённого управления. Текст остаётся в буфере обмена — вставьте "
                                            "его сочетанием Ctrl+V.")))
        << log.toStdString();
    EXPECT_TRUE(m_windowOnXWayland);
    EXPECT_EQ(m_exitCode, 0);

    // With a desktop that offers both portals.
    TestPortal portal;
    ASSERT_TRUE(portal.started());
    log = runProgramUntil(QStringLiteral("Хоткеи записи: Работают через портал рабочего стола."));
    EXPECT_TRUE(log.contains(QStringLiteral(
        "Хоткеи записи: Работают через портал рабочего стола. Push-to-talk диктовка: Через портал рабочего стола, "
        "когда сочетание задано. Вставка текста: Через портал рабочего стола — разрешение спросят при первой "
        "вставке.")))
        << log.toStdString();
    EXPECT_EQ(portal.bound().size(), 2u); // the meeting and note hotkeys of a first start
    EXPECT_EQ(m_exitCode, 0);
}
