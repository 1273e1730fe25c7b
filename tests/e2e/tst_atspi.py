#!/usr/bin/python3
"""What a screen reader hears of the real program.

Starts the built vellumo with Qt's accessibility bridge on, and reads its
accessible tree over the AT-SPI bus as Orca would: roles, names, the texts of
every message box the user can meet, and where the keyboard focus goes on
Tab. It drives the program only through AT-SPI actions and text insertion and
through xdotool keys, with real files. Run by run-with-atspi.sh, which gives it
a private D-Bus session, AT-SPI bus and X server.
"""

import os
import subprocess
import sys
import tempfile

import pyatspi

from atspi import (TIMEOUT, Atspi, Bus, action_names, children, describe, find, focused,
                   showing, wait_for, walk)


# ---- The program


class Program:
    def __init__(self, binary, scratch):
        env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
        # No system information tool on the search path: System Info says so.
        env["PATH"] = os.path.join(scratch, "no-tools")
        os.mkdir(env["PATH"])
        self.process = subprocess.Popen([binary], env=env, cwd=scratch)
        self.bus = Bus()
        desktop = pyatspi.Registry.getDesktop(0)
        # The answers must be the program's of now, not a copy from earlier.
        desktop.set_cache_mask(Atspi.Cache.NONE)

        def app():
            for node in children(desktop):
                if node.name == "Vellumo" and node.get_process_id() == self.process.pid:
                    return node if node.childCount else None
            return None

        self.app = wait_for("the program on the AT-SPI bus", app)
        self.main = wait_for("the main window", lambda: self.window("frame", "Vellumo"))

    def window(self, role, title):
        for node in children(self.app):
            if node.getRoleName() == role and node.name == title and showing(node):
                return node
        return None

    def windows(self):
        return [describe(node) for node in children(self.app) if showing(node)]

    def press(self, node, action="Press"):
        self.bus.act(node, action)

    def menu(self, item):
        self.press(wait_for("menu item " + item, lambda: find(self.main, "menu item", item)))

    def button(self, window, caption):
        """The button once it can be pressed (Qt offers no press while disabled)."""
        return wait_for("button %s in %s" % (caption, window.name),
                        lambda: next((node for node in walk(window)
                                      if node.getRoleName() == "push button"
                                      and node.name == caption and showing(node)
                                      and "Press" in action_names(node)), None))

    def choose_file(self, path, accept):
        """Types the path into the file dialog's name field and accepts."""
        dialog = wait_for("the file dialog", lambda: self.window("dialog", "Please select where:"))
        field = wait_for("the file name field", lambda: find(dialog, "text", "File name:", True))
        field.queryEditableText().setTextContents(path)
        self.press(self.button(dialog, accept))
        wait_for("the file dialog to close",
                 lambda: not self.window("dialog", "Please select where:"))

    def x_window(self, title):
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid",
                                str(self.process.pid), "--name", "^%s$" % title],
                               capture_output=True, text=True, timeout=60).stdout.split()
        return found[0] if len(found) == 1 else None

    def keys(self, title, *names):
        """Keys as typed into the window of that title, which gets the keyboard
        first (there is no window manager to give it)."""
        window = wait_for("X window " + title, lambda: self.x_window(title))
        subprocess.run(["xdotool", "windowfocus", "--sync", window], check=True, timeout=60)
        if names:
            subprocess.run(["xdotool", "key", "--delay", "100"] + list(names), check=True,
                           timeout=60)

    def end(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()


# ---- What a screen reader must find

MAIN_WINDOW = [
    ("panel", "Text area"),
    ("text", "Document"),
    ("panel", "Controls:"),
    ("push button", "Font"),
    ("push button", "Color"),
    ("push button", "Save"),
    ("push button", "Load"),
    ("push button", "Reset"),
    ("image", "Vellumo icon"),
    ("menu bar", ""),
    ("menu item", "File"),
    ("popup menu", "File"),
    ("menu item", "Load"),
    ("menu item", "Save"),
    ("menu item", "Print"),
    ("menu item", "Exit"),
    ("menu item", "Edit"),
    ("popup menu", "Edit"),
    ("menu item", "Color"),
    ("menu item", "Font"),
    ("menu item", "Reset"),
    ("menu item", "About"),
    ("popup menu", "About"),
    ("menu item", "Info"),
]

ABOUT_DIALOG = [
    ("image", "Information icon"),
    ("label", "Vellumo"),
    ("label", "Version 1"),
    ("label", "A basic text program."),
    ("label", "Code by: Karvik"),
    ("label", "Helped by:  Orchardnet Forums"),
    ("link", "https://orchardnet.example"),
    ("separator", ""),
    ("push button", "OK"),
    ("push button", "System Info..."),
]

# Roles a screen reader says by name: one without a name is a fault.
NAMED_ROLES = {"push button", "menu item", "popup menu", "text", "label", "link", "image",
               "scroll bar", "dialog", "frame", "alert", "check box", "combo box"}

# Tab from the text area visits the buttons in tab index order and comes back.
TAB_ORDER = ["Font", "Save", "Load", "Reset", "Color", "Document"]


def unnamed(window):
    """Controls a screen reader would have to call by their role alone. Hidden
    ones count where they are scroll bars, which a reader may still meet."""
    return [describe(node) for node in walk(window)
            if node.getRoleName() in NAMED_ROLES and not node.name
            and (showing(node) or node.getRoleName() == "scroll bar")]


def missing(window, expected):
    present = {(node.getRoleName(), node.name) for node in walk(window)}
    return ["%s %r" % row for row in expected if row not in present]


def check_tree(window, expected):
    assert not missing(window, expected), "not in the tree: %s" % missing(window, expected)
    assert not unnamed(window), "no name: %s" % unnamed(window)


def message_box(program, title, text, buttons, answer, icon=None):
    """The box a screen reader announces: an alert with the title as its
    name, the message as its one shown label, its icon by name, and its
    buttons; then the answer, and the box goes (before any verdict, so that
    a fault here leaves no box over the next check)."""
    box = wait_for("the box " + title, lambda: program.window("alert", title))

    def shown(role):
        return [node.name for node in walk(box) if node.getRoleName() == role and showing(node)]

    labels, images, pressable, nameless = shown("label"), shown("image"), shown("push button"), \
        unnamed(box)
    program.press(program.button(box, answer))
    wait_for("the box %s to close" % title, lambda: not program.window("alert", title))
    assert labels == [text], "the box %r says %r, not %r" % (title, labels, text)
    assert images == ([icon] if icon else []), "the box %r shows icons %r" % (title, images)
    assert pressable == buttons, "the box %r has buttons %r, not %r" % (title, pressable, buttons)
    assert not nameless, "no name: %s" % nameless


# ---- The checks, in order, on one running program


def the_main_window_names_every_control(program, scratch):
    check_tree(program.main, MAIN_WINDOW)
    document = find(program.main, "text", "Document")
    assert document.description, "the document has no description"


def every_scroll_bar_has_a_name_and_one_shows(program, scratch):
    document = find(program.main, "text", "Document")
    bars = [node for node in walk(document) if node.getRoleName() == "scroll bar"]
    assert bars, "the text area has no scroll bar in the tree"
    assert all(bar.name for bar in bars), "unnamed scroll bars: %s" % [describe(b) for b in bars]
    # A text longer than the area: the bar a person sees is the one a reader finds.
    document.queryEditableText().insertText(0, "line\n" * 300, 5 * 300)
    wait_for("a scroll bar to show",
             lambda: any(showing(bar) for bar in walk(document)
                         if bar.getRoleName() == "scroll bar"))
    shown = [describe(bar) for bar in walk(document)
             if bar.getRoleName() == "scroll bar" and showing(bar)]
    assert shown == ["scroll bar 'Vertical scroll bar'"], "shown: %s" % shown
    program.press(find(program.main, "push button", "Reset"))
    wait_for("the text area to empty",
             lambda: document.queryText().characterCount == 0)


def tab_moves_the_focus_in_tab_index_order(program, scratch):
    document = find(program.main, "text", "Document")
    program.keys("Vellumo")  # gives the window the keyboard
    wait_for("the text area to have the focus at first", lambda: focused(document))
    visited = []
    for expected in TAB_ORDER:
        program.keys("Vellumo", "Tab")
        now = wait_for("the focus to move to " + expected,
                       lambda: [n.name for n in walk(program.main) if focused(n)
                                and n.getRoleName() in ("push button", "text")
                                and n.name == expected])
        visited.append(now[0])
        # Qt says a widget's inner parts have the focus with it; a reader follows the widget.
        holder = find(program.main, "push button" if expected != "Document" else "text",
                      expected)
        others = [describe(n) for n in walk(program.main)
                  if focused(n) and n != holder and n not in list(walk(holder))]
        assert not others, "also focused after Tab to %s: %s" % (expected, others)
    assert visited == TAB_ORDER, visited
    program.keys("Vellumo", "shift+Tab")
    wait_for("Shift+Tab to go back to Color",
             lambda: focused(find(program.main, "push button", "Color")))


def the_about_dialog_says_its_texts_and_offers_its_link(program, scratch):
    program.menu("Info")
    about = wait_for("the About dialog", lambda: program.window("dialog", "About Vellumo"))
    check_tree(about, ABOUT_DIALOG)
    link = find(about, "link", "https://orchardnet.example")
    assert action_names(link) == ["Press"], action_names(link)
    assert link.description, "the link does not say what it opens"
    program.press(program.button(about, "System Info..."))
    message_box(program, "Vellumo", "System Information Is Unavailable At This Time", ["OK"],
                "OK")
    program.press(program.button(about, "OK"))
    wait_for("the About dialog to close", lambda: not program.window("dialog", "About Vellumo"))


def file_load_says_load_successful(program, scratch):
    path = os.path.join(scratch, "prepared.txt")
    with open(path, "wb") as f:
        f.write(b"Loaded for\r\na screen reader")
    program.menu("Load")
    program.choose_file(path, "Open")
    message_box(program, "Load Successful", "Text has been loaded", ["OK"], "OK")
    # Lines may share a block, parted by line separators: a reader takes either as a break.
    text = find(program.main, "text", "Document").queryText().getText(0, -1)
    assert text.replace("\u2028", "\n") == "Loaded for\na screen reader", repr(text)


def a_failed_load_says_what_and_why(program, scratch):
    path = os.path.join(scratch, "huge.txt")
    with open(path, "wb") as f:
        f.truncate(1 << 31)  # sparse: no room taken on the disk
    program.menu("Load")
    program.choose_file(path, "Open")
    message_box(program, "Load failed",
                'Cannot load "%s": the file holds 2147483648 characters, and the text area takes '
                'at most 2147483646.' % path, ["OK"], "OK", icon="Error")


def an_unencodable_character_is_saved_after_the_question(program, scratch):
    path = os.path.join(scratch, "omega.txt")
    document = find(program.main, "text", "Document")
    document.queryEditableText().setTextContents("Ohm: \u03a9")
    program.menu("Save")
    program.choose_file(path, "Save")
    message_box(program, "Save",
                "The text holds characters that a Windows-1252 file cannot hold, the first being "
                "\u201c\u03a9\u201d (U+03A9).\n\nSave \"%s\" anyway, with each of them replaced "
                "by \"?\"?" % path, ["Yes", "No"], "Yes", icon="Warning")
    message_box(program, "Save Successful", "Text has been Saved", ["OK"], "OK")
    with open(path, "rb") as f:
        assert f.read() == b"Ohm: ?\r\n", "the file holds something else"


def file_exit_asks_quit_and_yes_ends_the_program(program, scratch):
    program.menu("Exit")
    message_box(program, "Quit?", "You are about to quit!?", ["Yes", "No"], "No", icon="Error")
    assert program.process.poll() is None, "No ended the program"
    program.menu("Exit")
    message_box(program, "Quit?", "You are about to quit!?", ["Yes", "No"], "Yes",
                icon="Error")
    assert program.process.wait(timeout=TIMEOUT) == 0, "the program did not end cleanly"


CHECKS = [
    the_main_window_names_every_control,
    every_scroll_bar_has_a_name_and_one_shows,
    tab_moves_the_focus_in_tab_index_order,
    the_about_dialog_says_its_texts_and_offers_its_link,
    file_load_says_load_successful,
    a_failed_load_says_what_and_why,
    an_unencodable_character_is_saved_after_the_question,
    file_exit_asks_quit_and_yes_ends_the_program,
]


def main():
    binary = os.environ.get("VELLUMO_BINARY", "")
    if not os.access(binary, os.X_OK):
        print("VELLUMO_BINARY names no program")
        return 1
    failed = 0
    with tempfile.TemporaryDirectory() as scratch:
        program = Program(binary, scratch)
        try:
            for check in CHECKS:
                try:
                    check(program, scratch)
                    print("PASS   :", check.__name__)
                except Exception as error:  # noqa: BLE001 (a fault of any kind fails the check)
                    failed += 1
                    print("FAIL!  :", check.__name__, "-", error)
                    print("         windows shown:", program.windows())
        finally:
            program.end()
    print("Totals: %d passed, %d failed" % (len(CHECKS) - failed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
