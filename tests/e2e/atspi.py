#!/usr/bin/python3
"""Drives a program through its accessibility tree, as a screen reader does.

  atspi.py press PID WINDOW NAME...   does the first action (Press, ShowMenu) of
                                      the control reached by the names, each
                                      found below the one before
  atspi.py states PID WINDOW NAME...  prints that control's states, one a line
  atspi.py windows PID                prints the program's window names

WINDOW is a top-level window's name (its title). Exit code 1 when the
program, the window or a control is not found.
"""

import sys

import pyatspi

# A menu item's action runs the command before it answers, so an action that
# opens a modal box answers only once the box is gone: waiting for that
# answer would stop the caller from ever answering the box.
ACTION_TIMEOUT_MS = 3000


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
    elif command == "states":
        for state in control(pid, names).getState().getStates():
            print(pyatspi.stateToString(state))
    elif command == "press":
        target = control(pid, names)
        action = target.queryAction()
        if action.nActions < 1:
            sys.exit(f"\"{names[-1]}\" has no action")
        pyatspi.setTimeout(ACTION_TIMEOUT_MS, ACTION_TIMEOUT_MS)
        try:
            action.doAction(0)
        except Exception as error:  # the answer did not come in time
            if "timeout" not in str(error).lower() and "timed out" not in str(error).lower():
                raise
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv)
