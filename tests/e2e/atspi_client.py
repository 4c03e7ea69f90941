#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-2.0-or-later
"""Drives the real program as an assistive tool would, over AT-SPI only: it finds controls by
role and name and works them through their accessible actions and editable text.

Usage: atspi_client.py PROGRAM WORKING_DIRECTORY VIDEO
Run it inside a D-Bus session with DISPLAY set. Exits 0 when every check held; otherwise prints
what failed and exits 1.
"""
import os
import subprocess
import sys
import time

import pyatspi

TIMEOUT = 20
MAIN_TITLE = "Orvexa : préVersion : 0.30"
# Roles of the controls a user works; each must carry a name.
CONTROL_ROLES = {
    pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_TOGGLE_BUTTON, pyatspi.ROLE_CHECK_BOX, pyatspi.ROLE_RADIO_BUTTON,
    pyatspi.ROLE_TEXT, pyatspi.ROLE_SLIDER, pyatspi.ROLE_SPIN_BUTTON, pyatspi.ROLE_COMBO_BOX, pyatspi.ROLE_TABLE,
}


def wait_for(what, look, timeout=TIMEOUT):
    end = time.time() + timeout
    while time.time() < end:
        try:
            found = look()
        except Exception:  # windows come and go while the tree is read
            found = None
        if found:
            return found
        time.sleep(0.2)
    raise AssertionError("%s did not appear within %d s" % (what, timeout))


def application():
    desktop = pyatspi.Registry.getDesktop(0)
    for index in range(desktop.childCount):
        app = desktop.getChildAtIndex(index)
        if app is not None and app.name == "orvexa":
            return app
    return None


def window(app, title):
    for index in range(app.childCount):
        child = app.getChildAtIndex(index)
        if child is not None and child.name == title:
            return child
    return None


def control(root, role, name):
    return pyatspi.findDescendant(root, lambda node: node.getRole() == role and node.name == name)


def do(node, action):
    actions = node.queryAction()
    names = [actions.getName(i) for i in range(actions.nActions)]
    if action not in names:
        raise AssertionError("%s '%s' offers %s, not %s" % (node.getRoleName(), node.name, names, action))
    actions.doAction(names.index(action))


def checked(node):
    node.clear_cache()  # states are cached on this side; ask the program
    return node.getState().contains(pyatspi.STATE_CHECKED)


def unnamed_controls(root):
    found = []
    for node in pyatspi.findAllDescendants(root, lambda n: n.getRole() in CONTROL_ROLES):
        if not node.name:
            found.append(node.getRoleName())
    return found


def drive(program, video, failures):
    app = wait_for("the program on the accessibility bus", application)
    main = wait_for("the main window", lambda: window(app, MAIN_TITLE))

    # Every control is named; the transport buttons are push buttons named by their hints.
    missing = unnamed_controls(main)
    if missing:
        failures.append("controls without a name: %s" % missing)
    for name in ["Premier", "Reculer de 3", "Précédent", "Pause", "Atteindre..", "Diaporama..", "Suivant",
                 "Avancer de 3", "Dernier", "Ouvrir...", "Extraire", "Voir Image...", "Extraire Lot..."]:
        if control(main, pyatspi.ROLE_PUSH_BUTTON, name) is None:
            failures.append("no push button '%s'" % name)
    for role, name in [(pyatspi.ROLE_SLIDER, "Position dans la vidéo"), (pyatspi.ROLE_TEXT, "Nom du fichier vidéo"),
                       (pyatspi.ROLE_TEXT, "Nom des images"), (pyatspi.ROLE_TEXT, "Numéroter à Partir de :"),
                       (pyatspi.ROLE_TEXT, "Format :"), (pyatspi.ROLE_CHECK_BOX, "Limiter au Cadre")]:
        if control(main, role, name) is None:
            failures.append("no %s '%s'" % (role, name))

    # "Ouvrir..." and the file dialog's own name field and button.
    do(control(main, pyatspi.ROLE_PUSH_BUTTON, "Ouvrir..."), "Press")
    dialog = wait_for("the file dialog", lambda: window(app, "Ouvrir"))
    name_field = wait_for("the file name field", lambda: control(dialog, pyatspi.ROLE_TEXT, "Nom :"))
    name_field.queryEditableText().setTextContents(video)
    do(wait_for("the open button", lambda: control(dialog, pyatspi.ROLE_PUSH_BUTTON, "Ouvrir")), "Press")
    wait_for("the viewer on frame 0", lambda: window(app, "Vue Avi: 0 - Ligne: 0"))

    # "Suivant" runs what a click runs: the next frame, shown paused, with "Pause" latched down.
    do(control(main, pyatspi.ROLE_PUSH_BUTTON, "Suivant"), "Press")
    wait_for("the viewer on frame 1", lambda: window(app, "Vue Avi: 1 - Ligne: 1"))
    if not checked(control(main, pyatspi.ROLE_PUSH_BUTTON, "Pause")):
        failures.append("the latched 'Pause' button does not show as checked")

    # Ticking "Limiter au Cadre" without a crop rectangle is refused with the program's message.
    box = control(main, pyatspi.ROLE_CHECK_BOX, "Limiter au Cadre")
    do(box, "Toggle")
    message = wait_for("the 'Cadre non Défini' message", lambda: window(app, "Cadre non Défini"))
    if control(message, pyatspi.ROLE_LABEL, "Définissez un Cadre de Sélection dans l'Image") is None:
        failures.append("the message does not say 'Définissez un Cadre de Sélection dans l'Image'")
    do(control(message, pyatspi.ROLE_PUSH_BUTTON, "OK"), "Press")
    wait_for("the message to close", lambda: window(app, "Cadre non Défini") is None)
    if checked(box):
        failures.append("'Limiter au Cadre' is ticked without a crop rectangle")

    # The other windows name their controls too.
    for item, title in [("JPEG...", "Options Jpeg"), ("Liste...", "FormListe"), ("Info Image...", "Info:")]:
        do(control(main, pyatspi.ROLE_MENU_ITEM, item), "Press")
        shown = wait_for("the window '%s'" % title, lambda: window(app, title))
        missing = unnamed_controls(shown)
        if missing:
            failures.append("controls without a name in '%s': %s" % (title, missing))

    do(control(main, pyatspi.ROLE_MENU_ITEM, "Quitter"), "Press")


def main():
    program, workdir, video = sys.argv[1:4]
    environment = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_QPA_PLATFORM="xcb")
    # The accessibility bus and its registry start on first use; a program started before they
    # answer never registers, so the client brings them up first.
    wait_for("the accessibility registry", lambda: pyatspi.Registry.getDesktop(0) is not None)
    pyatspi.Registry.getDesktop(0).childCount
    process = subprocess.Popen([program], cwd=workdir, env=environment)
    failures = []
    try:
        drive(program, video, failures)
        process.wait(timeout=TIMEOUT)
    except Exception as error:  # a step that could not be done ends the drive
        failures.append("%s: %s" % (type(error).__name__, error))
    finally:
        if process.poll() is None:
            process.kill()
            process.wait()
    for failure in failures:
        print("FAILED:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
