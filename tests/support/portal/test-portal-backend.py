#!/usr/bin/python3
# A desktop-portal back end for the tests: GlobalShortcuts and RemoteDesktop as the portal front
# end (xdg-desktop-portal) expects them from a desktop, plus a notification server. Instead of a
# desktop it has a control object the tests drive over the same session bus:
#   org.palaverly.TestPortal at /org/palaverly/TestPortal
#     Reset()                        forgets everything below and grants again
#     SetModes(shortcuts, keyboard)  "grant" (default), "refuse" (the user says no) or "silent"
#                                    (never answers)
#     Activate(id) / Deactivate(id)  a bound shortcut goes down / up
#     ChangeTrigger(id, description) the user gives a shortcut another trigger in the desktop
#     Bound()                        (id, description, preferred trigger) of the bound shortcuts
#     KeyboardEvents()               (keycode, state) of every keyboard call, in order
#     Starts()                       how many RemoteDesktop sessions were approved or refused
#     Notifications()                (summary, body) of every notification shown
# It owns its names before it prints "ready" on stdout.
import sys
import time

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

IMPL_NAME = "org.freedesktop.impl.portal.desktop.palaverlytest"
SHORTCUTS = "org.freedesktop.impl.portal.GlobalShortcuts"
REMOTE = "org.freedesktop.impl.portal.RemoteDesktop"
CONTROL = "org.palaverly.TestPortal"
NOTIFICATIONS = "org.freedesktop.Notifications"
KEYBOARD = 1
BUS = None


class ImplSession(dbus.service.Object):
    """A session the front end may close; closing it only takes it off the bus."""

    @dbus.service.method("org.freedesktop.impl.portal.Session", in_signature="", out_signature="")
    def Close(self):
        self.remove_from_connection()

    @dbus.service.signal("org.freedesktop.impl.portal.Session", signature="a{sv}")
    def Closed(self, details):
        pass


def export_session(path):
    try:
        ImplSession(BUS, path)
    except KeyError:  # already exported
        pass


class State:
    shortcuts_mode = "grant"
    keyboard_mode = "grant"
    session = None  # the GlobalShortcuts session
    bound = []  # (id, description, preferred trigger)
    triggers = {}  # id -> trigger description
    keyboard = []
    starts = 0
    notes = []
    held = []  # replies never sent, kept so they are not collected


def answer(mode, ok, results):
    """Answers a request as the user would in `mode`: grant with `results`, refuse, or never."""
    if mode == "silent":
        State.held.append(ok)
    elif mode == "refuse":
        ok(1, {})
    else:
        ok(0, results)


def quietly(mode):
    """The mode for a step the desktop answers without asking the user: only silence carries."""
    return "silent" if mode == "silent" else "grant"


def shortcut_list():
    return dbus.Array(
        [
            dbus.Struct(
                (sid, dbus.Dictionary({"description": desc, "trigger_description": State.triggers.get(sid, "")},
                                      signature="sv")),
                signature=None)
            for sid, desc, _ in State.bound
        ],
        signature="(sa{sv})")


def human(trigger):
    names = {"CTRL": "Ctrl", "ALT": "Alt", "SHIFT": "Shift", "LOGO": "Meta"}
    parts = trigger.split("+")
    return "+".join([names.get(p, p) for p in parts[:-1]] + [parts[-1].upper() if len(parts[-1]) == 1 else parts[-1]])


# RemoteDesktop. Its CreateSession has the name and signature of the GlobalShortcuts one; dbus-python
# finds a method by interface along the class hierarchy, so each lives in its own class.
class RemoteDesktop(dbus.service.Object):
    @dbus.service.method(REMOTE, in_signature="oosa{sv}", out_signature="ua{sv}",
                         async_callbacks=("ok", "err"))
    def CreateSession(self, handle, session_handle, app_id, options, ok, err):
        export_session(session_handle)
        answer(quietly(State.keyboard_mode), ok, {})

    @dbus.service.method(REMOTE, in_signature="oosa{sv}", out_signature="ua{sv}",
                         async_callbacks=("ok", "err"))
    def SelectDevices(self, handle, session_handle, app_id, options, ok, err):
        answer(quietly(State.keyboard_mode), ok, {})

    @dbus.service.method(REMOTE, in_signature="oossa{sv}", out_signature="ua{sv}",
                         async_callbacks=("ok", "err"))
    def Start(self, handle, session_handle, app_id, parent_window, options, ok, err):
        if State.keyboard_mode != "silent":
            State.starts += 1
        answer(State.keyboard_mode, ok, {"devices": dbus.UInt32(KEYBOARD)})

    @dbus.service.method(REMOTE, in_signature="oa{sv}iu", out_signature="")
    def NotifyKeyboardKeycode(self, session_handle, options, keycode, state):
        State.keyboard.append((int(keycode), int(state)))

    @dbus.service.method(REMOTE, in_signature="oa{sv}iu", out_signature="")
    def NotifyKeyboardKeysym(self, session_handle, options, keysym, state):
        State.keyboard.append((-int(keysym), int(state)))

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        return self.GetAll(interface)[name]

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        if interface == REMOTE:
            return {"AvailableDeviceTypes": dbus.UInt32(KEYBOARD | 2), "version": dbus.UInt32(1)}
        if interface == SHORTCUTS:
            return {"version": dbus.UInt32(1)}
        return {}



class Portal(RemoteDesktop):
    def __init__(self, bus):
        super().__init__(bus, "/org/freedesktop/portal/desktop")

    # GlobalShortcuts

    @dbus.service.method(SHORTCUTS, in_signature="oosa{sv}", out_signature="ua{sv}",
                         async_callbacks=("ok", "err"))
    def CreateSession(self, handle, session_handle, app_id, options, ok, err):
        if State.shortcuts_mode != "silent":
            export_session(session_handle)
            State.session = session_handle
            State.bound = []
        answer(quietly(State.shortcuts_mode), ok, {"shortcuts": shortcut_list()})

    @dbus.service.method(SHORTCUTS, in_signature="ooa(sa{sv})sa{sv}", out_signature="ua{sv}",
                         async_callbacks=("ok", "err"))
    def BindShortcuts(self, handle, session_handle, shortcuts, parent_window, options, ok, err):
        if State.shortcuts_mode != "grant":
            return answer(State.shortcuts_mode, ok, {})
        State.bound = [(str(sid), str(props.get("description", "")), str(props.get("preferred_trigger", "")))
                       for sid, props in shortcuts]
        State.triggers = {sid: human(trigger) for sid, _, trigger in State.bound if trigger}
        ok(0, {"shortcuts": shortcut_list()})

    @dbus.service.method(SHORTCUTS, in_signature="oo", out_signature="ua{sv}")
    def ListShortcuts(self, handle, session_handle):
        return (0, {"shortcuts": shortcut_list()})

    @dbus.service.signal(SHORTCUTS, signature="osta{sv}")
    def Activated(self, session_handle, shortcut_id, timestamp, options):
        pass

    @dbus.service.signal(SHORTCUTS, signature="osta{sv}")
    def Deactivated(self, session_handle, shortcut_id, timestamp, options):
        pass

    @dbus.service.signal(SHORTCUTS, signature="oa(sa{sv})")
    def ShortcutsChanged(self, session_handle, shortcuts):
        pass


class Control(dbus.service.Object):
    def __init__(self, bus, portal):
        super().__init__(bus, "/org/palaverly/TestPortal")
        self.portal = portal

    @dbus.service.method(CONTROL, in_signature="", out_signature="")
    def Reset(self):
        State.shortcuts_mode = State.keyboard_mode = "grant"
        State.session = None
        State.bound, State.triggers, State.keyboard, State.notes, State.starts = [], {}, [], [], 0

    @dbus.service.method(CONTROL, in_signature="ss", out_signature="")
    def SetModes(self, shortcuts, keyboard):
        State.shortcuts_mode = str(shortcuts)
        State.keyboard_mode = str(keyboard)

    def emit(self, signal, shortcut_id):
        if State.session is None:
            return False
        signal(State.session, shortcut_id, dbus.UInt64(int(time.time() * 1000)), {})
        return True

    @dbus.service.method(CONTROL, in_signature="s", out_signature="b")
    def Activate(self, shortcut_id):
        return self.emit(self.portal.Activated, shortcut_id)

    @dbus.service.method(CONTROL, in_signature="s", out_signature="b")
    def Deactivate(self, shortcut_id):
        return self.emit(self.portal.Deactivated, shortcut_id)

    @dbus.service.method(CONTROL, in_signature="ss", out_signature="b")
    def ChangeTrigger(self, shortcut_id, description):
        if State.session is None:
            return False
        State.triggers[str(shortcut_id)] = str(description)
        self.portal.ShortcutsChanged(State.session, shortcut_list())
        return True

    @dbus.service.method(CONTROL, in_signature="", out_signature="a(sss)")
    def Bound(self):
        return State.bound

    @dbus.service.method(CONTROL, in_signature="", out_signature="a(iu)")
    def KeyboardEvents(self):
        return State.keyboard

    @dbus.service.method(CONTROL, in_signature="", out_signature="u")
    def Starts(self):
        return State.starts

    @dbus.service.method(CONTROL, in_signature="", out_signature="a(ss)")
    def Notifications(self):
        return State.notes


class Notifications(dbus.service.Object):
    def __init__(self, bus):
        super().__init__(bus, "/org/freedesktop/Notifications")

    @dbus.service.method(NOTIFICATIONS, in_signature="susssasa{sv}i", out_signature="u")
    def Notify(self, app_name, replaces_id, app_icon, summary, body, actions, hints, timeout):
        State.notes.append((str(summary), str(body)))
        return len(State.notes)

    @dbus.service.method(NOTIFICATIONS, in_signature="", out_signature="as")
    def GetCapabilities(self):
        return ["body"]

    @dbus.service.method(NOTIFICATIONS, in_signature="", out_signature="ssss")
    def GetServerInformation(self):
        return ("palaverly-test", "palaverly", "1", "1.2")


def main():
    global BUS
    DBusGMainLoop(set_as_default=True)
    bus = BUS = dbus.SessionBus()
    portal = Portal(bus)
    Control(bus, portal)
    Notifications(bus)
    names = [dbus.service.BusName(name, bus, do_not_queue=True) for name in (IMPL_NAME, CONTROL, NOTIFICATIONS)]
    print("ready", flush=True)
    GLib.MainLoop().run()
    del names


if __name__ == "__main__":
    sys.exit(main())
