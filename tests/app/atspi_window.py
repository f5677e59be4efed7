#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
# The desktop program as a screen reader meets it, read through AT-SPI (as Orca reads it) on an
# Xvfb, a session bus and an accessibility bus of its own, with a device that answers (127.0.0.1)
# and one whose TCP port refuses (127.0.0.2): every control of the main window and of the Add
# Device dialog named; each state said in words by the list and the map; Tab going round each
# window in reading order through every control, each shown and drawn otherwise while it has the
# focus; and every name of the window translated in German, but for data.
#   tests/app/atspi_window.py <tarnwick executable>
# Exits 77 when a tool it needs is missing.
import atexit, importlib.util, os, re, shutil, socket, subprocess, sys, tempfile, time
import xml.etree.ElementTree as ElementTree
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
LAUNCHER = "/usr/libexec/at-spi-bus-launcher"
# The controls a user operates: each needs a name of its own or from a label.
CONTROLS = {"push button", "text", "password text", "check box", "radio button", "spin button", "combo box"}
# The names a translation changes.
WORDS = {"push button", "menu", "menu item", "page tab", "label", "check box", "column header", "table column header"}
# Names that stay in every language: addresses, numbers and units, the program's name, "OK".
DATA = re.compile(r"[\d.:%\s\[\]ms+-]*|Tarnwick|OK")
SCREEN = (1024, 700)
TAB_PRESSES = 40  # Tab goes round a window within this many presses

def fail(why):
    print(f"FAIL: {why}")
    sys.exit(1)

missing = [tool for tool in ("Xvfb", "dbus-daemon", "xdotool", "import", LAUNCHER) if not shutil.which(tool)]
if missing or not importlib.util.find_spec("pyatspi"):
    print(f"atspi window skipped: {' '.join(missing) or 'pyatspi'} is not installed (python3-pyatspi, at-spi2-core)")
    sys.exit(77)
work, started = Path(tempfile.mkdtemp()), []

@atexit.register
def clean_up():
    for process in reversed(started):
        process.terminate()
        process.wait(10)
    shutil.rmtree(work, ignore_errors=True)

def start(*command, **options):
    started.append(subprocess.Popen(command, stdin=subprocess.DEVNULL, stderr=subprocess.DEVNULL, **options))
    return started[-1]

def until(what, check, seconds=30):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if found := check():
            return found
        time.sleep(0.1)
    fail(f"{what() if callable(what) else what} within {seconds} s")

# The X server, the session bus (which starts no service: a portal asked for is not there) and
# the accessibility bus.
display = start("Xvfb", "-displayfd", "1", "-screen", "0", "{}x{}x24".format(*SCREEN), "-nolisten", "tcp",
                stdout=subprocess.PIPE)
os.environ["DISPLAY"] = ":" + display.stdout.readline().decode().strip()
(work / "bus.conf").write_text(f"""<busconfig><type>session</type><listen>unix:dir={work}</listen>
<auth>EXTERNAL</auth><policy context="default"><allow send_destination="*" eavesdrop="true"/>
<allow eavesdrop="true"/><allow own="*"/></policy></busconfig>""")
bus = start("dbus-daemon", f"--config-file={work}/bus.conf", "--print-address=1", "--nofork", stdout=subprocess.PIPE)
os.environ["DBUS_SESSION_BUS_ADDRESS"] = bus.stdout.readline().decode().strip()
start(LAUNCHER, "--launch-immediately", stdout=subprocess.DEVNULL)
import pyatspi  # noqa: E402 (it reaches the buses named above)
from gi.repository import GLib  # noqa: E402

# A port that refuses: bound and never listening, for as long as the test runs.
closed = socket.socket()
closed.bind(("127.0.0.2", 0))

def run(language):
    """Starts the program in a folder of its own; returns it and its main window."""
    folder = work / language
    folder.mkdir()
    (folder / "Skins").symlink_to(REPO / "Skins")
    (folder / "DeviceConfig.xml").write_text(f"""<DeviceEntries>
    <DeviceEntry IP="127.0.0.1" Type="2" IASC="1">Gateway</DeviceEntry>
    <DeviceEntry IP="127.0.0.2" Type="3" IASC="0" Check="tcp:{closed.getsockname()[1]}">Web</DeviceEntry>
</DeviceEntries>""")
    (folder / "VisualRepresentation.xml").write_text("""<VisualRepresentation><Devices>
    <Device IP="127.0.0.1" X="0" Y="0"/><Device IP="127.0.0.2" X="170" Y="0"/></Devices></VisualRepresentation>""")
    environment = dict(os.environ, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_ACCESSIBILITY="1",
                       LANG=f"{language}.UTF-8", LANGUAGE=language[:2], LC_ALL="")
    program = start(sys.argv[1], cwd=folder, env=environment, stdout=subprocess.DEVNULL)
    # The bus registers a new program's windows late on a loaded machine (two tests at once).
    return program, until("the main window on the accessibility bus", lambda: window("Tarnwick", pyatspi.ROLE_FRAME), 90)

def refresh():
    # Events keep the library's copy of names and states current: take those that came.
    while GLib.MainContext.default().iteration(False):
        pass

def window(name, role):
    refresh()
    return next((top for app in pyatspi.Registry.getDesktop(0) for top in app or []
                 if top and top.getRole() == role and top.name.startswith(name)), None)

def walk(node, path=""):
    for index, child in enumerate(node):
        if child is not None:
            yield f"{path}/{child.getRoleName()}[{index}]", child
            yield from walk(child, f"{path}/{child.getRoleName()}[{index}]")

def has(node, *states):
    return all(node.getState().contains(state) for state in states)

def unnamed(top):
    def named(node):
        # A combo box's name on Linux is its current text: only its label names it.
        return any(target.name for relation in node.getRelationSet()
                   if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY
                   for target in map(relation.getTarget, range(relation.getNTargets()))) or \
            (node.name.strip() and node.getRole() != pyatspi.ROLE_COMBO_BOX)
    return [f"{node.getRoleName()} at {path}" for path, node in walk(top)
            if node.getRoleName() in CONTROLS and has(node, pyatspi.STATE_SHOWING) and not named(node)]

heard = {}

def states_said(top):
    """What the list's rows say of each device, once they say its state and the map's badges the same."""
    refresh()
    table = next(node for _, node in walk(top) if node.getRole() == pyatspi.ROLE_TREE).queryTable()
    cells = [[table.getAccessibleAt(row, column).name for column in (2, 4, 0)] for row in range(table.nRows)]
    heard["list"] = {address: f"{description}: {state}" for address, description, state in cells}
    heard["map"] = {address: f"{node.name.removeprefix(address).strip()}: {node.description}" for _, node in walk(top)
                    for address in heard["list"] if node.getRole() != pyatspi.ROLE_TABLE_CELL
                    and node.name.startswith(address)}
    return heard["list"] == heard["map"] == {"127.0.0.1": "Gateway: connected", "127.0.0.2": "Web: disconnected"} \
        and heard["list"]

def focused(top):
    # Qt marks the current tab and the current cell focused while the focus is elsewhere: the
    # focus is the deepest focused object that is neither, or whose parent has the focus too.
    refresh()
    found = [(path, node) for path, node in walk(top) if has(node, pyatspi.STATE_FOCUSED)]
    held = [(path, node) for path, node in found if path.rsplit("/", 1)[0] in dict(found)
            or node.getRole() not in (pyatspi.ROLE_PAGE_TAB, pyatspi.ROLE_TABLE_CELL)]
    return max(held, key=lambda held: held[0].count("/"), default=None)

def extents(node):
    box = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return box.x, box.y, box.x + box.width, box.y + box.height

def screen():
    return subprocess.run(["import", "-window", "root", "-depth", "8", "rgb:-"], capture_output=True, check=True).stdout

def pixels(frame, box):
    left, top, right, bottom = max(box[0], 0), max(box[1], 0), min(box[2], SCREEN[0]), min(box[3], SCREEN[1])
    return b"".join(frame[(y * SCREEN[0] + left) * 3:(y * SCREEN[0] + right) * 3] for y in range(top, bottom))

def tab_through(top):
    """Tab goes round the window through every control in reading order (above, or on the same
    line and to the right), each shown and drawn otherwise while it has the focus."""
    frame_box = extents(top)
    reached, frame = [until("a focused control", lambda: focused(top))], screen()
    for _ in range(TAB_PRESSES):
        subprocess.run(["xdotool", "key", "Tab"], check=True)
        path, node = until("the focus moving on Tab", lambda: (now := focused(top)) and now[0] != reached[-1][0] and now, 5)
        what, box, last = f"{node.getRoleName()} {node.name!r}", extents(node), extents(reached[-1][1])
        inside = frame_box[0] <= box[0] < box[2] <= frame_box[2] and frame_box[1] <= box[1] < box[3] <= frame_box[3]
        if not inside or not has(node, pyatspi.STATE_SHOWING):
            fail(f"the focused {what} at {path} is not shown in the window")
        unfocused = pixels(frame, box)
        frame = until(f"the focus drawn on {what}", lambda: (now := screen()) and pixels(now, box) != unfocused and now, 3)
        if path == reached[0][0]:
            break
        if not (last[3] <= box[1] or (last[1] < box[3] and box[1] < last[3] and last[2] <= box[0])):
            fail(f"Tab goes back from {reached[-1][1].getRoleName()} {reached[-1][1].name!r} to {what}")
        reached.append((path, node))
    print("Tab reaches:", ", ".join(f"{node.getRoleName()} {node.name!r}" for _, node in reached))
    missing = [f"{node.getRoleName()} {node.name!r}" for path, node in walk(top)
               if (node.getRoleName() in CONTROLS or node.getRole() == pyatspi.ROLE_TREE)
               and has(node, pyatspi.STATE_SHOWING, pyatspi.STATE_SENSITIVE, pyatspi.STATE_FOCUSABLE)
               and not any(at == path or at.startswith(path + "/") for at, _ in reached)]
    if missing:
        fail(f"Tab never reaches {', '.join(missing)}")

def words(top):
    return {path: node.name for path, node in walk(top) if node.getRoleName() in WORDS and node.name.strip()}

def press(top, role, name):
    next(node for _, node in walk(top) if node.getRole() == role and node.name == name).queryAction().doAction(0)

def focus_window(title):
    subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--name", title, "windowfocus", "--sync"], check=True)

english, main = run("en_US")
print("said:", until(lambda: f"each device's state in words in the list and on the map; heard {heard}",
                     lambda: states_said(main)))
english_words, problems = words(main), []
for page in [node for _, node in walk(main) if node.getRole() == pyatspi.ROLE_PAGE_TAB]:
    page.queryAction().doAction(0)
    # Qt 6.4 marks the current tab focused, later versions selected.
    until(f"the tab {page.name!r} shown", lambda: refresh() or page.getState().contains(pyatspi.STATE_FOCUSED)
          or page.getState().contains(pyatspi.STATE_SELECTED))
    problems += [problem for problem in unnamed(main) if problem not in problems]
press(main, pyatspi.ROLE_PAGE_TAB, "Device list")
focus_window("^Tarnwick$")
tab_through(main)
press(main, pyatspi.ROLE_PUSH_BUTTON, "Add Device")
dialog = until("the Add Device dialog", lambda: window("Add Device", pyatspi.ROLE_DIALOG))
press(dialog, pyatspi.ROLE_CHECK_BOX, "Advanced")
if problems := problems + unnamed(dialog):
    fail("controls without a name:\n  " + "\n  ".join(problems))
focus_window("^Add Device")
tab_through(dialog)
english.terminate()
english.wait(30)
translations = (REPO / "translations/tarnwick_de.ts").read_text()
if 'type="unfinished"' in translations:
    print("German names not compared: translations/tarnwick_de.ts still has unfinished texts")
    sys.exit(0)
# Words the translator kept as they are ("Filter", "Median") stay too.
kept = {message.findtext("source") for message in ElementTree.fromstring(translations).iter("message")
        if message.findtext("source") == message.findtext("translation")}
_, main = run("de_DE")
german_words = until("the German window laid out as the English one",
                     lambda: (now := words(main)).keys() >= english_words.keys() and now)
same = [f"{path}: {name!r}" for path, name in english_words.items()
        if german_words[path] == name and not DATA.fullmatch(name) and name not in kept]
if same:
    fail("names that stay English in German:\n  " + "\n  ".join(same))
print(f"all {len(english_words)} names of the window are German")
