"""A desktop for the client as a screen reader user has it: a virtual X server,
a window manager, a session D-Bus with the AT-SPI accessibility bus, and the
real service on loopback. Every process started here is ended by close()."""

import os
import shutil
import signal
import socket
import subprocess
import tempfile
import time

SKIP = 77  # CTest's SKIP_RETURN_CODE for this test

BUS_LAUNCHER = "/usr/libexec/at-spi-bus-launcher"
NEEDED_PROGRAMS = ["Xvfb", "openbox", "dbus-daemon", "dbus-send", "xdotool", "import", "convert", BUS_LAUNCHER]


def missing_tools():
    """What this machine lacks to run the test, as text; empty when nothing."""
    missing = [p for p in NEEDED_PROGRAMS if not shutil.which(p) and not os.access(p, os.X_OK)]
    try:
        import gi  # noqa: F401

        gi.require_version("Atspi", "2.0")
        import pyatspi  # noqa: F401
    except (ImportError, ValueError) as e:
        missing.append(f"python3-pyatspi/gir1.2-atspi-2.0 ({e})")
    return ", ".join(missing)


def wait_for(condition, timeout, step=0.1, pump=None):
    """Polls condition until it is true or timeout seconds passed; its last value."""
    end = time.monotonic() + timeout
    while True:
        value = condition()
        if value or time.monotonic() > end:
            return value
        if pump:
            pump(step)
        else:
            time.sleep(step)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Desktop:
    def __init__(self):
        self.dir = tempfile.mkdtemp(prefix="a11y-bus-")
        self.processes = []
        self.env = dict(os.environ)
        for name in ("QT_QPA_PLATFORM", "DBUS_SESSION_BUS_ADDRESS", "AT_SPI_BUS_ADDRESS", "QT_SCALE_FACTOR"):
            self.env.pop(name, None)
        runtime = os.path.join(self.dir, "runtime")
        os.mkdir(runtime, 0o700)
        self.env["XDG_RUNTIME_DIR"] = runtime
        self.env["HOME"] = os.path.join(self.dir, "home")
        os.mkdir(self.env["HOME"])

    def start(self, args, **kw):
        p = subprocess.Popen(args, env=kw.pop("env", self.env), start_new_session=True, **kw)
        self.processes.append(p)
        return p

    def start_x(self):
        read, write = os.pipe()
        self.start(["Xvfb", "-displayfd", str(write), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                   pass_fds=(write,), stderr=subprocess.DEVNULL)
        os.close(write)
        with os.fdopen(read) as f:
            number = f.readline().strip()
        if not number:
            raise RuntimeError("Xvfb did not start")
        self.env["DISPLAY"] = ":" + number

    def start_session_bus(self):
        p = self.start(["dbus-daemon", "--session", "--nofork", "--print-address=1"], stdout=subprocess.PIPE,
                       stderr=subprocess.DEVNULL)
        address = p.stdout.readline().decode().strip()
        if not address:
            raise RuntimeError("no session bus")
        self.env["DBUS_SESSION_BUS_ADDRESS"] = address
        # pyatspi in this process finds the accessibility bus through the session bus
        os.environ["DBUS_SESSION_BUS_ADDRESS"] = address
        os.environ["DISPLAY"] = self.env["DISPLAY"]
        os.environ["XDG_RUNTIME_DIR"] = self.env["XDG_RUNTIME_DIR"]
        os.environ.pop("AT_SPI_BUS_ADDRESS", None)

    def start_accessibility_bus(self):
        # The session bus starts the launcher on the first question (as on a
        # desktop); ready when it answers with the accessibility bus's address.
        def address():
            r = subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus", "/org/a11y/bus",
                                "org.a11y.Bus.GetAddress"], env=self.env, capture_output=True, text=True)
            return r.returncode == 0 and "unix:" in r.stdout
        if not wait_for(address, 20):
            raise RuntimeError("the accessibility bus does not start")
        # What a screen reader sets when it runs.
        subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus", "/org/a11y/bus",
                        "org.freedesktop.DBus.Properties.Set", "string:org.a11y.Status",
                        "string:ScreenReaderEnabled", "variant:boolean:true"],
                       env=self.env, capture_output=True)

    def start_window_manager(self):
        self.start(["openbox", "--sm-disable"], stderr=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
        time.sleep(0.5)

    def start_service(self, binary):
        data = os.path.join(self.dir, "service")
        os.mkdir(data)
        with open(os.path.join(data, "config.json"), "w") as f:
            f.write('{"registrations_per_address": 1000000, "reset_requests_per_address": 1000000}\n')
        subprocess.run([binary, "init", "--host", "127.0.0.1", "--data", data], check=True, capture_output=True)
        port = free_port()
        self.service = self.start([binary, "--data", data, "--port", str(port), "--host", "127.0.0.1", "--bind",
                                   "127.0.0.1", "--test-clock", "--sync", "normal"], stderr=subprocess.DEVNULL)
        def listening():
            try:
                socket.create_connection(("127.0.0.1", port), timeout=1).close()
                return True
            except OSError:
                return False
        if not wait_for(listening, 30):
            raise RuntimeError("the service does not listen")
        self.service_binary, self.service_data, self.port = binary, data, port
        return port, os.path.join(data, "ca.pem")

    def service_command(self, *args):
        return subprocess.run([self.service_binary, *args, "--data", self.service_data], capture_output=True,
                              text=True)

    def start_client(self, program, extra_env=None):
        env = dict(self.env)
        env.update({"QT_QPA_PLATFORM": "xcb", "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
                    "QTWEBENGINE_DISABLE_SANDBOX": "1", "QTWEBENGINE_CHROMIUM_FLAGS": "--disable-gpu"})
        env.update(extra_env or {})
        port, ca = self.port, os.path.join(self.service_data, "ca.pem")
        self.log = open(os.path.join(self.dir, "client.log"), "w")
        self.client = self.start([program, f"127.0.0.1:{port}", ca], env=env, stdout=self.log,
                                 stderr=subprocess.STDOUT)
        return self.client

    def client_log(self):
        try:
            with open(os.path.join(self.dir, "client.log")) as f:
                return f.read()[-6000:]
        except OSError:
            return ""

    def xdotool(self, *args):
        subprocess.run(["xdotool", *args], env=self.env, check=False, capture_output=True)

    def close(self):
        for p in reversed(self.processes):
            if p.poll() is None:
                try:
                    os.killpg(p.pid, signal.SIGTERM)
                except ProcessLookupError:
                    pass
        for p in reversed(self.processes):
            try:
                p.wait(10)
            except subprocess.TimeoutExpired:
                try:
                    os.killpg(p.pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
                p.wait(5)
        shutil.rmtree(self.dir, ignore_errors=True)
