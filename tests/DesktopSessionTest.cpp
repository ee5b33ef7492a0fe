#include "system/DesktopSession.h"

#include <gtest/gtest.h>
#include <map>

using namespace palaverly;

TEST(DesktopSessionTest, TheLoginManagersWordComesFirstThenTheSockets)
{
    const auto detect = [](std::map<std::string, QByteArray> variables) {
        return detectSessionType([&](const char* name) { return variables[name]; });
    };
    EXPECT_EQ(detect({{"XDG_SESSION_TYPE", "wayland"}, {"DISPLAY", ":0"}}), SessionType::wayland);
    // An X11 session with a nested compositor running in it stays an X11 session.
    EXPECT_EQ(detect({{"XDG_SESSION_TYPE", "x11"}, {"WAYLAND_DISPLAY", "wayland-1"}}), SessionType::x11);
    EXPECT_EQ(detect({{"XDG_SESSION_TYPE", "tty"}, {"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":0"}}),
        SessionType::wayland);
    EXPECT_EQ(detect({{"DISPLAY", ":1"}}), SessionType::x11);
    EXPECT_EQ(detect({}), SessionType::none);
}
