#!/usr/bin/python3
"""Drives a program through its accessibility tree, as a screen reader does.

  atspi.py press PID WINDOW NAME...   does the first action (Press, ShowMenu) of
                                      the control reached by the names, each
                                      found below the one before
  atspi.py windows PID                prints the program's window names

WINDOW is a top-level window's name (its title). Exit code 1 when the
program, the window or a control is not found.
"""

import sys

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Gio, GLib  # noqa: E402

import pyatspi  # noqa: E402


def describe(node):
    return "%s %r" % (node.getRoleName(), node.name)


def action_names(node):
    try:
        action = node.queryAction()
    except NotImplementedError:
        return []
    return [action.getName(i) for i in range(action.nActions)]


class Bus:
    """Fires actions without waiting for their answer. Qt answers a press of a
    menu item only when the command has ended, and a command may show a modal
    box first, as a person would see it."""

    def __init__(self):
        session = Gio.bus_get_sync(Gio.BusType.SESSION, None)
        reply = session.call_sync("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress",
                                  None, GLib.VariantType("(s)"), Gio.DBusCallFlags.NONE, -1, None)
        flags = (Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT
                 | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION)
        self.connection = Gio.DBusConnection.new_for_address_sync(reply.unpack()[0], flags, None,
                                                                  None)

    def act(self, node, name):
        names = action_names(node)
        assert name in names, "%s has no %s action (only %s)" % (describe(node), name, names)
        message = Gio.DBusMessage.new_method_call(node.app.bus_name, node.path,
                                                  "org.a11y.atspi.Action", "DoAction")
        message.set_body(GLib.Variant("(i)", (names.index(name),)))
        message.set_flags(Gio.DBusMessageFlags.NO_REPLY_EXPECTED)
        self.connection.send_message(message, Gio.DBusSendMessageFlags.NONE)
        self.connection.flush_sync(None)


# ---- The command line


def application(pid):
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.get_process_id() == pid:
            return app
    sys.exit(f"no accessible program with process id {pid}")


def find_below(node, name):
    queue = list(node)
    while queue:
        child = queue.pop(0)
        if child is None:
            continue
        if child.name == name:
            return child
        queue.extend(child)
    return None


def control(pid, names):
    app = application(pid)
    node = next((w for w in app if w is not None and w.name == names[0]), None)
    if node is None:
        sys.exit(f"no window \"{names[0]}\"")
    for name in names[1:]:
        found = find_below(node, name)
        if found is None:
            sys.exit(f"no \"{name}\" below \"{node.name}\"")
        node = found
    return node


def main(argv):
    if len(argv) < 3:
        sys.exit(__doc__)
    command, pid, names = argv[1], int(argv[2]), argv[3:]
    if command == "windows":
        for window in application(pid):
            if window is not None:
                print(window.name)
    elif command == "press":
        target = control(pid, names)
        actions = action_names(target)
        if not actions:
            sys.exit(f"\"{names[-1]}\" has no action")
        Bus().act(target, actions[0])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv)
