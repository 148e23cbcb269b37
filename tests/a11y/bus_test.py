#!/usr/bin/python3
"""The client as a screen reader meets it: the real program under a virtual X
server with a window manager, read and pressed only through the AT-SPI bus,
typed into with real key presses, against the real service.

Fails on: a window that is no window (a filler); a control a user acts on
(button, link, clickable picture or label, check box, tab, combo box) with no
name or no press action; a combo box named by its value; the faucet's answer
field not labelled by its question; a confirmation panel that is not a modal
dialog; a message shown without an event a screen reader announces; a password
character in any text event or in a password field's text; a web page with no
accessible content.

    bus_test.py --client PROGRAM --service SERVICE_BINARY
"""

import argparse
import os
import subprocess
import sys
import time
import traceback

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import busenv  # noqa: E402

PASSWORD = "Zq8Wv4Kj"  # none of its characters is in the login typed beside it
LOGIN = "reader@hostname.test"

failures = []


def fail(where, what):
    failures.append(f"{where}: {what}")
    print(f"FAIL {where}: {what}", flush=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--client", required=True)
    parser.add_argument("--service", required=True)
    args = parser.parse_args()
    missing = busenv.missing_tools()
    if missing:
        print(f"SKIP: the accessibility bus test needs {missing} (scripts/install-deps.sh installs them)")
        return busenv.SKIP
    desktop = busenv.Desktop()
    try:
        desktop.start_x()
        desktop.start_session_bus()
        desktop.start_accessibility_bus()
        desktop.start_window_manager()
        desktop.start_service(args.service)
        bus = Bus(desktop, os.path.basename(args.client))
        desktop.start_client(args.client)
        Walk(bus).run()
    except Exception:
        fail("test", traceback.format_exc())
    finally:
        log = desktop.client_log()
        desktop.close()
    if failures:
        print("\n%d failure(s):\n  %s" % (len(failures), "\n  ".join(failures)))
        print("client output (end):\n" + log)
        return 1
    print("the client reads, presses and announces on the accessibility bus as checked")
    return 0


class Bus:
    """The client's accessible tree and the events it sends, as pyatspi sees them."""

    def __init__(self, desktop, app_name):
        import pyatspi
        from gi.repository import GLib

        from gi.repository import Atspi

        self.pyatspi, self.GLib = pyatspi, GLib
        # A page being laid out holds the client for a while on a loaded machine.
        Atspi.set_timeout(30000, 60000)
        self.desktop, self.app_name = desktop, app_name
        self.events = []
        for kind in ("object:state-changed:showing", "object:text-changed", "object:announcement",
                     "window:activate", "object:property-change:accessible-name"):
            pyatspi.Registry.registerEventListener(self.on_event, kind)

    def on_event(self, event):
        try:
            source = event.source
            role = source.getRoleName() if source else ""
            name = source.name if source else ""
            app = source.getApplication().name if source else ""
        except Exception:  # the object went while the event travelled
            role, name, app = "", "", ""
        if app and app != self.app_name:
            return
        self.events.append({"type": str(event.type), "role": role, "name": name, "detail1": event.detail1,
                            "data": event.any_data if isinstance(event.any_data, str) else "",
                            "source": event.source, "time": time.monotonic()})

    def pump(self, seconds):
        end = time.monotonic() + seconds
        context = self.GLib.MainContext.default()
        while True:
            while context.pending():
                context.iteration(False)
            if time.monotonic() >= end:
                return
            time.sleep(0.02)

    def wait(self, condition, timeout):
        return busenv.wait_for(condition, timeout, 0.05, self.pump)

    def app(self):
        for a in self.pyatspi.Registry.getDesktop(0):
            try:
                if a is not None and a.name == self.app_name:
                    return a
            except Exception:
                pass
        return None

    def frames(self):
        app = self.app()
        if app is None:
            return []
        return [f for f in app if f is not None and showing(f)]


def showing(node):
    import pyatspi

    try:
        return node.getState().contains(pyatspi.STATE_SHOWING)
    except Exception:
        return False


def state(node, s):
    try:
        return node.getState().contains(s)
    except Exception:
        return False


def nodes(root, only_showing=True, depth=0):
    """root and everything under it (what is showing, when asked), depth first."""
    if root is None or depth > 25:
        return
    if only_showing and not showing(root):
        return
    yield root
    try:
        children = list(root)
    except Exception:
        return
    for c in children:
        yield from nodes(c, only_showing, depth + 1)


def find(root, role, name=None, only_showing=True):
    for n in nodes(root, only_showing):
        try:
            if n.getRoleName() == role and (name is None or n.name == name or
                                            (name.endswith("*") and n.name.startswith(name[:-1]))):
                return n
        except Exception:
            pass
    return None


def actions(node):
    try:
        a = node.queryAction()
    except NotImplementedError:
        return []
    return [a.getName(i) for i in range(a.nActions)]


def press(node):
    a = node.queryAction()
    names = [a.getName(i) for i in range(a.nActions)]
    for wanted in ("Press", "press", "click", "activate", "Toggle", "jump"):
        if wanted in names:
            try:
                a.doAction(names.index(wanted))
            except Exception as e:  # a reply late because the page loads: the action ran
                if "reply" not in str(e):
                    raise
            return
    raise AssertionError(f"'{node.name}' has no press action: {names}")


PRESS_ACTIONS = {"press", "click", "activate", "jump", "toggle", "showmenu"}
CONTROL_ROLES = {"push button", "link", "check box", "radio button", "toggle button", "menu item", "page tab",
                 "combo box"}
# What users click on each screen: each must be a named button or link with a press action.
CLICKABLE = {
    "login": ["Information", "Reset password"],
    "dashboard": ["Annual percentage rate", "Earnings projection"],
    "deposit": ["Back", "Deposit address as a QR code", "Deposit address *"],
    "withdraw": ["Back"],
    "invest": ["Back"],
    "lottery": ["Back"],
    "faucet": ["Back"],
    "swap": ["Back", "Exchange the two coins"],
    "referral": ["Back", "Referral code*", "Invite link*"],
    "settings": ["Back"],
    "information": ["Back"],
    "feedback": ["Ambervale chat", "Ambervale channel", "Ambervale profile"],
    "menu": ["Hide the menu", "Lottery", "Faucet", "Guides", "Swap", "Referral program", "Settings"],
    "question": ["Close the question"],
    "confirmation": ["Cancel"],
}


class Walk:
    """The eleven screens, reached as a screen reader user reaches them."""

    def __init__(self, bus):
        self.bus = bus

    # ---- finding and acting ----

    def front(self, timeout=30, other_than=None):
        def pick():
            fs = [f for f in self.bus.frames() if f.getRoleName() in ("frame", "window", "dialog", "filler")]
            fs = [f for f in fs if other_than is None or f.name != other_than]
            return fs[0] if len(fs) == 1 else None
        return self.bus.wait(pick, timeout)

    def control(self, screen, role, name, timeout=20):
        node = self.bus.wait(lambda: find(screen, role, name), timeout)
        if node is None:
            there = [f"{n.getRoleName()} '{n.name}'" for n in nodes(screen)][:40]
            raise AssertionError(f"{screen.name}: no showing {role} '{name}' among {there}")
        return node

    def type_into(self, field, text):
        field.queryComponent().grabFocus()
        self.bus.wait(lambda: state(field, self.bus.pyatspi.STATE_FOCUSED), 10)
        self.bus.desktop.xdotool("key", "--clearmodifiers", "ctrl+a", "BackSpace")
        self.bus.desktop.xdotool("type", "--delay", "40", text)
        self.bus.pump(0.3)

    def open_from(self, screen, role, name):
        press(self.control(screen, role, name))
        opened = self.front(60, other_than=screen.name)
        if opened is None:
            raise AssertionError(f"pressing '{name}' on {screen.name} opens no other window")
        return opened

    def back(self, screen):
        press(self.control(screen, "push button", "Back"))
        dashboard = self.front(30, other_than=screen.name)
        if dashboard is None:
            raise AssertionError(f"Back on {screen.name} leads nowhere")
        return dashboard

    def announced(self, where, act, timeout=20):
        """act shows a message: a screen reader must be told, with its text."""
        start = time.monotonic()
        act()
        def event():
            for e in self.bus.events:
                if e["time"] < start:
                    continue
                if e["type"].startswith("object:announcement") and e["data"]:
                    return e
                if e["type"].startswith("object:state-changed:showing") and e["detail1"] == 1 and \
                        e["role"] in ("alert", "notification") and e["name"].strip():
                    return e
            return None
        e = self.bus.wait(event, timeout)
        if e is None:
            shown = [x for x in self.bus.events if x["time"] >= start]
            fail(where, "a message is shown without an event a screen reader announces "
                        f"(events: {[(x['type'], x['role'], x['name']) for x in shown][:12]})")
            return None
        return e

    def close_message(self, screen):
        node = find(screen, "push button", "Close the message")
        if node is not None:
            press(node)
            self.bus.wait(lambda: find(screen, "alert") is None, 10)

    # ---- checks every screen gets ----

    def check_screen(self, screen, where):

        role = screen.getRoleName()
        if role not in ("frame", "window", "dialog"):
            fail(where, f"the window's role is '{role}'")
        if not screen.name.strip():
            fail(where, "the window has no name")
        for n in nodes(screen):
            try:
                role, name = n.getRoleName(), n.name
            except Exception:
                continue
            acts = {a.lower() for a in actions(n)}
            if not state(n, self.bus.pyatspi.STATE_SENSITIVE):
                continue  # a disabled control cannot be pressed by anyone
            focusable = state(n, self.bus.pyatspi.STATE_FOCUSABLE)
            # A picture in the Tab order is a control (a text label there is read, not pressed).
            if role in CONTROL_ROLES or (role in ("image", "icon") and focusable):
                if not name.strip():
                    fail(where, f"a {role} has no name")
                # A page's own links are followed with Enter once focused: the engine gives them no
                # press action on this bus, only the focus.
                in_page = any(n == x for x in self.web_nodes(screen))
                if in_page and "setfocus" in acts:
                    continue
                if not acts & PRESS_ACTIONS:
                    fail(where, f"{role} '{name}' has no press action ({sorted(acts)})")
            if role == "combo box":
                self.check_combo(n, where)

    def web_nodes(self, screen):
        if getattr(self, "_web_for", None) is not screen:
            self._web_for, self._web = screen, []
            for page in [n for n in nodes(screen) if n.getRoleName() == "document web"]:
                self._web += list(nodes(page, only_showing=False))
        return self._web

    def check_clickable(self, screen, where, table_key):
        for name in CLICKABLE[table_key]:
            node = None
            for role in ("push button", "link"):
                node = node or find(screen, role, name)
            if node is None:
                found = [f"{n.getRoleName()} '{n.name}'" for n in nodes(screen)
                         if n.name == name or (name.endswith("*") and n.name.startswith(name[:-1]))]
                fail(where, f"'{name}' is no button or link on the bus (found {found})")
            elif not {a.lower() for a in actions(node)} & PRESS_ACTIONS:
                fail(where, f"'{name}' has no press action ({actions(node)})")

    def check_combo(self, combo, where):
        value = ""
        try:
            lst = combo[0]
            sel = lst.querySelection()
            if sel.nSelectedChildren:
                value = sel.getSelectedChild(0).name
        except Exception:
            pass
        labels = []
        try:
            for r in combo.getRelationSet():
                if r.getRelationType() == self.bus.pyatspi.RELATION_LABELLED_BY:
                    labels += [r.getTarget(i).name for i in range(r.getNTargets())]
        except Exception:
            pass
        name = combo.name.strip()
        if not name or (name == value and not any(l.strip() for l in labels)):
            fail(where, f"a combo box is named by its value '{combo.name}'")
        self.combo_names.append(name)

    # ---- the walk ----

    def run(self):
        bus = self.bus
        self.combo_names = []
        login = self.front(60)
        if login is None:
            raise AssertionError("the client shows no window on the bus")
        self.check_screen(login, "login")
        self.check_clickable(login, "login", "login")

        # A wrong password: the refusal is announced.
        self.type_into(self.control(login, "text", "Login or e-mail"), LOGIN)
        password = self.control(login, "password text", "Password")
        typed_from = time.monotonic()
        self.type_into(password, PASSWORD)
        self.check_password_events("login", typed_from, expect_from="Password")
        self.announced("login (wrong password)", lambda: press(self.control(login, "push button", "Log in")))
        self.close_message(login)

        # Registration: the repeat field is shown now and typed into.
        press(self.control(login, "push button", "Create account"))
        repeat = self.control(login, "password text", "Repeat the password")
        typed_from = time.monotonic()
        self.type_into(self.control(login, "password text", "Password"), PASSWORD)
        self.type_into(repeat, PASSWORD)
        self.check_password_events("registration", typed_from, expect_from="Repeat the password")
        for field in ("Password", "Repeat the password"):
            node = self.control(login, "password text", field)
            text = node.queryText().getText(0, -1)
            if any(c in text for c in PASSWORD):
                fail("registration", f"the field '{field}' gives its text on the bus: '{text}'")
        policy = find(login, "check box", "I have read the privacy policy")
        if policy is not None and not state(policy, bus.pyatspi.STATE_CHECKED):
            press(policy)
        press(self.control(login, "push button", "Create account"))
        dashboard = self.front(60, other_than=login.name)
        if dashboard is None:
            raise AssertionError("registering opens no dashboard")
        self.check_screen(dashboard, "dashboard")
        self.check_clickable(dashboard, "dashboard", "dashboard")
        menu = find(dashboard, "push button", "Show the menu")
        if menu is not None:
            press(menu)
        self.control(dashboard, "push button", "Hide the menu")
        self.check_clickable(dashboard, "dashboard menu", "menu")
        # Money for the money screens.
        bus.desktop.service_command("credit", LOGIN, "usdt", "50")

        for name, opener, check in [
            ("deposit", ("push button", "Deposit"), self.deposit),
            ("withdraw", ("push button", "Withdraw"), self.withdraw),
            ("invest", ("push button", "Invest"), self.invest),
            ("lottery", ("push button", "Lottery"), self.lottery),
            ("faucet", ("push button", "Faucet"), self.faucet),
            ("swap", ("push button", "Swap"), self.nothing),
            ("referral", ("push button", "Referral program"), self.nothing),
            ("settings", ("push button", "Settings"), self.nothing),
            ("information", ("push button", "Guides"), self.information),
        ]:
            try:
                self.visit(dashboard, name, opener, check)
            except Exception as e:
                fail(name, f"{e}")
            dashboard = self.front(30)
            if dashboard is None:
                raise AssertionError(f"no single window in front after {name}")

        for expected in ("Coin to give", "Coin to receive", "Rental period", "Network", "Lottery coin"):
            if expected not in self.combo_names:
                fail("combo boxes", f"no combo box named '{expected}' (named: {self.combo_names})")

    def visit(self, dashboard, name, opener, check):
        role, label = opener
        control = find(dashboard, role, label)
        if control is None:  # the menu holds it
            press(self.control(dashboard, "push button", "Show the menu"))
            control = self.control(dashboard, role, label)
        press(control)
        # Deposit may first ask for the network.
        screen = self.front(30, other_than=dashboard.name)
        if screen is None:
            network = find(dashboard, "dialog", "Choose the network")
            if network is not None:
                if not state(network, self.bus.pyatspi.STATE_MODAL):
                    fail(name, "the network choice is not a modal dialog")
                press(self.control(network, "push button", None))
                screen = self.front(30, other_than=dashboard.name)
        if screen is None:
            raise AssertionError(f"'{label}' opens no screen")
        try:
            self.check_screen(screen, name)
            self.check_clickable(screen, name, name)
            check(screen, name)
        finally:
            self.close_message(screen)
            self.back(screen)

    # ---- what single screens add ----

    def nothing(self, screen, where):
        pass

    def lottery(self, screen, where):
        # The caption writes the word with a zero; a listener hears it as written.
        for n in nodes(screen):
            if "L0tt" in n.name:
                fail(where, f"a {n.getRoleName()} is read as '{n.name}'")

    def deposit(self, screen, where):
        address = self.control(screen, "push button", "Deposit address *")
        self.bus.wait(lambda: address.queryComponent().getExtents(0).width > 0, 10)
        # Pressing the address copies it and says so.
        self.announced(where + " (copy)", lambda: press(address), 30)
        self.close_message(screen)

    def confirmation(self, screen, where, amount_field, button):
        self.type_into(self.control(screen, "text", amount_field), "1")
        press(self.control(screen, "push button", button))
        panel = self.bus.wait(lambda: find(screen, "dialog", "Password confirmation"), 20)
        if panel is None:
            fail(where, "the password confirmation is no dialog on the bus")
            return
        if not state(panel, self.bus.pyatspi.STATE_MODAL):
            fail(where, "the password confirmation is not modal")
        typed_from = time.monotonic()
        self.type_into(self.control(panel, "password text", "Password"), PASSWORD)
        self.check_password_events(where, typed_from, expect_from="Password")
        self.check_clickable(panel, where, "confirmation")
        press(self.control(panel, "push button", "Cancel"))

    def invest(self, screen, where):
        self.confirmation(screen, where, "Amount to invest", "Invest")

    withdraw = nothing  # its confirmation needs a valid address; the invest screen shows the same panel

    def faucet(self, screen, where):
        press(self.control(screen, "push button", "Get USDT"))
        answer = self.bus.wait(lambda: find(screen, "text", "Answer"), 20)
        if answer is None:
            fail(where, "no answer field shows")
            return
        question = []
        for r in answer.getRelationSet():
            if r.getRelationType() == self.bus.pyatspi.RELATION_LABELLED_BY:
                question += [r.getTarget(i).name for i in range(r.getNTargets())]
        if not any("=" in q for q in question):
            fail(where, f"the answer field is not labelled by its question (labelled by {question})")
        self.check_clickable(screen, where, "question")
        for advert in ("Advert", "Second advert"):
            view = find(screen, "filler", advert)
            page = find(view, "document web") if view is not None else None
            if page is None or page.childCount == 0:
                fail(where, f"the view '{advert}' holds no readable page")
        self.type_into(answer, "999")
        self.announced(where + " (answer)", lambda: press(self.control(screen, "push button", "Send the answer")),
                       30)
        self.close_message(screen)

    def information(self, screen, where):
        guide = self.bus.wait(lambda: find(screen, "document web"), 120)
        if guide is None:
            fail(where, "the guide shows no web document")
            return
        content = self.bus.wait(lambda: sum(1 for _ in nodes(guide, only_showing=False)) > 20, 60)
        if not content:
            fail(where, f"the guide's document has no accessible content ({guide.childCount} children)")
        links = [n for n in nodes(guide, only_showing=False) if n.getRoleName() == "link"]
        if not links:
            fail(where, "the guide exposes no links")
        self.focus_ring_in_page(where, links[0])
        press(self.control(screen, "page tab", "Feed Back"))
        self.bus.wait(lambda: find(screen, "push button", "Ambervale chat"), 10)
        self.check_clickable(screen, where + " (feedback)", "feedback")

    def focus_ring_in_page(self, where, link):
        """The focused link is marked where a sighted keyboard user looks: in the
        screenshot, around the link's box, in a colour at more than 3:1."""
        link.queryComponent().grabFocus()
        self.bus.wait(lambda: state(link, self.bus.pyatspi.STATE_FOCUSED), 10)
        self.bus.pump(1.0)  # the page paints the ring
        x, y, w, h = link.queryComponent().getExtents(0)  # screen coordinates
        if w <= 0 or h <= 0:
            fail(where, f"the guide's link '{link.name}' has no place on screen")
            return
        pad = 6
        picture = os.path.join(self.bus.desktop.dir, "focus.png")
        subprocess.run(["import", "-display", self.bus.desktop.env["DISPLAY"], "-window", "root", picture],
                       env=self.bus.desktop.env, check=True)
        shot = subprocess.run(["convert", picture, "-crop", f"{w + 2 * pad}x{h + 2 * pad}+{x - pad}+{y - pad}",
                               "+repage", "txt:-"], capture_output=True, text=True, check=True)
        ring = 0
        for line in shot.stdout.splitlines()[1:]:
            colour = line.split("#")[1][:6] if "#" in line else ""
            if len(colour) == 6:
                r, g, b = (int(colour[i:i + 2], 16) for i in (0, 2, 4))
                # the accent colour #F2A900 (7.6:1 on the page's cards, 8.6:1 on its background); the
                # engine's own thin ring is another orange and does not count
                if abs(r - 0xF2) <= 10 and abs(g - 0xA9) <= 10 and b <= 40:
                    ring += 1
        if ring < w + h:
            focused = state(link, self.bus.pyatspi.STATE_FOCUSED)
            fail(where, f"the focused link '{link.name}' shows no focus mark ({ring} accent pixels around it at "
                        f"{w}x{h}+{x}+{y}, focused: {focused})")


    # ---- passwords ----

    def check_password_events(self, where, since, expect_from):
        self.bus.pump(0.5)
        seen = [e for e in self.bus.events if e["time"] >= since and e["type"].startswith("object:text-changed")]
        for e in seen:
            leaked = [c for c in PASSWORD if c in e["data"]]
            if leaked:
                fail(where, f"a password character goes out in {e['type']} from {e['role']} '{e['name']}'")
                return
        if not any(e["name"] == expect_from and e["role"] == "password text" for e in seen):
            fail(where, f"typing gave no text event from '{expect_from}' (is the listener working?)")
        hidden = [e for e in seen if e["role"] == "password text" and not showing(e["source"])]
        if hidden:
            fail(where, f"a hidden password field sends text events ('{hidden[0]['name']}')")


if __name__ == "__main__":
    sys.exit(main())
