"""An independent witness of the session's accessibility trees, for tests:

    /usr/bin/python3 -B accessibility_witness.py menus PID

prints the menu bars of the application with that process id, one line per
element, indented two spaces a level:

    ROLE "NAME" enabled|disabled ACCELERATOR

(ACCELERATOR is the third field of the key binding, "-" when there is none).
    /usr/bin/python3 -B accessibility_witness.py press PID NAME

performs the first action of the first element named NAME, depth first, as
an assistive tool would (to show a page of a program that tests do not
control otherwise), and exits with status 1 when there is none.
    /usr/bin/python3 -B accessibility_witness.py checked PID NAME

prints "checked" or "unchecked" for the first element named NAME, depth
first (a check menu item's state), and exits with status 1 when there is
none.

It waits at most five seconds for the application to join the bus and exits
with status 1 when it does not."""

import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402

_DEADLINE_SECONDS = 5
# Deep enough for the menus of any window a test opens, and a bound on a
# broken tree.
_MAX_DEPTH = 16


def find_application(pid):
    desktop = Atspi.get_desktop(0)
    for index in range(desktop.get_child_count()):
        application = desktop.get_child_at_index(index)
        if application is not None and application.get_process_id() == pid:
            return application
    return None


def accelerator(element):
    try:
        fields = Atspi.Action.get_key_binding(element, 0).split(";") if Atspi.Action.get_n_actions(element) else []
    except GLib.Error:
        fields = []
    return fields[2] if len(fields) == 3 and fields[2] else "-"


def print_menus(element, indent=0, level=0):
    role = element.get_role()
    if role in (Atspi.Role.MENU_BAR, Atspi.Role.MENU, Atspi.Role.MENU_ITEM):
        states = element.get_state_set()
        enabled = states.contains(Atspi.StateType.ENABLED) and states.contains(Atspi.StateType.SENSITIVE)
        print("%s%s \"%s\" %s %s" % ("  " * indent, element.get_role_name(), element.get_name(),
                                     "enabled" if enabled else "disabled", accelerator(element)))
        indent += 1
    if level >= _MAX_DEPTH:
        return
    for index in range(element.get_child_count()):
        child = element.get_child_at_index(index)
        if child is not None:
            print_menus(child, indent, level + 1)


def find_named(element, name, level=0):
    if element.get_name() == name:
        return element
    if level >= _MAX_DEPTH:
        return None
    for index in range(element.get_child_count()):
        child = element.get_child_at_index(index)
        found = find_named(child, name, level + 1) if child is not None else None
        if found is not None:
            return found
    return None


def press(application, name):
    element = find_named(application, name)
    if element is None or not Atspi.Action.get_n_actions(element) or not Atspi.Action.do_action(element, 0):
        sys.exit(1)


def print_checked(application, name):
    element = find_named(application, name)
    if element is None:
        sys.exit(1)
    print("checked" if element.get_state_set().contains(Atspi.StateType.CHECKED) else "unchecked")


def main():
    command, pid = sys.argv[1], int(sys.argv[2])
    if (command, len(sys.argv)) not in (("menus", 3), ("press", 4), ("checked", 4)):
        sys.exit("usage: accessibility_witness.py menus PID | press PID NAME | checked PID NAME")
    deadline = time.monotonic() + _DEADLINE_SECONDS
    application = find_application(pid)
    while application is None and time.monotonic() < deadline:
        time.sleep(0.1)
        application = find_application(pid)
    if application is None:
        sys.exit(1)
    if command == "menus":
        print_menus(application)
    elif command == "checked":
        print_checked(application, sys.argv[3])
    else:
        press(application, sys.argv[3])


if __name__ == "__main__":
    main()
