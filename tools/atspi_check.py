#!/usr/bin/python3
# Reads the running Plotmere through the AT-SPI bus as a screen reader does
# and checks what it finds. Started by tools/atspi-check.sh; prints the tree
# with --dump.
import sys
import time

import pyatspi

failures = []


def check(what, ok):
    print(("ok    " if ok else "FAIL  ") + what)
    if not ok:
        failures.append(what)


def find_app(name, seconds=20):
    end = time.time() + seconds
    while time.time() < end:
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.name == name:
                return app
        time.sleep(0.2)
    return None


def walk(acc, depth=0):
    yield acc, depth
    for child in acc:
        if child is not None:
            yield from walk(child, depth + 1)


def has(acc, state):
    return acc.getState().contains(state)


def wait_for(predicate, seconds=5):
    end = time.time() + seconds
    while time.time() < end:
        if predicate():
            return True
        time.sleep(0.1)
    return predicate()


app = find_app("plotmere")
if app is None:
    print("FAIL  plotmere is not on the accessibility bus")
    sys.exit(1)
nodes = list(walk(app))
if "--dump" in sys.argv:
    for acc, depth in nodes:
        print("  " * depth + f"[{acc.getRoleName()}] {acc.name!r}"
              + (f" ({acc.description!r})" if acc.description else ""))

frames = [a for a, _ in nodes if a.getRole() == pyatspi.ROLE_FRAME]
check("one frame, the window, named Plotmere", [f.name for f in frames] == ["Plotmere"])
bars = [a for a, _ in nodes if a.getRole() == pyatspi.ROLE_TOOL_BAR]
check("a tool bar", len(bars) == 1)
if bars:
    roles = [c.getRoleName() for c in bars[0]]
    check("tool bar: 6 push buttons and 2 separators",
          roles.count("push button") == 6 and roles.count("separator") == 2)
    check("tool-bar buttons are named", all(c.name for c in bars[0] if c.getRole() == pyatspi.ROLE_PUSH_BUTTON))

lists = [a for a, _ in nodes if a.getRole() == pyatspi.ROLE_PAGE_TAB_LIST]
check("a page tab list", len(lists) == 1)
if lists:
    tabs = list(lists[0])
    check("page tabs named by their captions",
          [t.name for t in tabs] == ["チャート", "ライン", "スケール", "フォーム・使用例"]
          and all(t.getRole() == pyatspi.ROLE_PAGE_TAB for t in tabs))
    check("the first tab is selected", [has(t, pyatspi.STATE_SELECTED) for t in tabs] == [True, False, False, False])
    check("each tab holds its page, a panel of the same name",
          all(t.childCount == 1 and t[0].getRole() == pyatspi.ROLE_PANEL and t[0].name == t.name for t in tabs))
    # Press the second tab as a screen reader user would.
    action = tabs[1].queryAction()
    names = [action.getName(i) for i in range(action.nActions)]
    check("a tab can be pressed", "Press" in names or "press" in names)
    if "Press" in names or "press" in names:
        action.doAction(names.index("Press") if "Press" in names else names.index("press"))
        check("pressing it selects it",
              wait_for(lambda: has(tabs[1], pyatspi.STATE_SELECTED) and not has(tabs[0], pyatspi.STATE_SELECTED)))
        check("and shows its page", wait_for(lambda: has(tabs[1][0], pyatspi.STATE_SHOWING)))

status = [a for a, _ in nodes if a.getRole() == pyatspi.ROLE_STATUS_BAR]
check("a status bar", len(status) == 1)
if status:
    text = status[0].queryText()
    whole = text.getText(0, text.characterCount)
    check("the status bar reads as its text: " + repr(whole), status[0].name == whole and "倍率" in whole)
    check("the status bar has no unnamed children", status[0].childCount == 0)

images = [a for a, _ in nodes if a.getRole() == pyatspi.ROLE_IMAGE]
check("the chart is an image named by its title", [i.name for i in images] == ["Plotmere Graph"])
if images:
    check("its description holds the equation and the axis names: " + repr(images[0].description),
          "相関係数" in images[0].description and "X軸" in images[0].description)

unnamed = [f"{a.getRoleName()} under {a.parent.getRoleName() if a.parent else '-'}"
           for a, _ in nodes
           if a.getRole() in (pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_CHECK_BOX, pyatspi.ROLE_RADIO_BUTTON,
                              pyatspi.ROLE_SPIN_BUTTON, pyatspi.ROLE_PAGE_TAB)
           and not a.name]
check("every button, check box, radio button, spin box and tab is named " + str(unnamed), not unnamed)

print(f"{len(failures)} failed" if failures else "all passed")
sys.exit(1 if failures else 0)
