"""Runs the real meter binary on a scratch device root."""
import os
import shutil
import signal
import subprocess
import tempfile
import time
from pathlib import Path

import pytest

TOP = Path(__file__).resolve().parents[3]
ANSWER = TOP / "scripts/answer-channel-dialog"
ARTIFACTS = Path(os.environ.get("R9050_ARTIFACTS", TOP / "build/artifacts"))


def screenshot(name):
    """Saves the whole virtual display as an artifact picture."""
    ARTIFACTS.mkdir(parents=True, exist_ok=True)
    path = ARTIFACTS / name
    subprocess.run(["import", "-window", "root", str(path)], check=False)
    return path


def channel_dialog_open():
    """Whether the meter's question "which channel for this sensor" is shown."""
    out = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^Precision CW.* Sensor on "],
                         capture_output=True, text=True)
    return out.returncode == 0 and out.stdout.strip() != ""


def start_traced(meter, sim, *sensors):
    """Starts the simulator with `sensors`, then the meter with its readings
    traced (the SensorManager category writes each reading it shows to the
    standard output), and waits for the meter's start-up."""
    sim.start(*sensors)
    meter.trace("SensorManager")
    meter.start()
    meter.wait_started()


@pytest.fixture(scope="session", autouse=True)
def private_display():
    """Each test file gets an X server of its own, so that clicks on a dialog
    (xdotool) and screenshots never meet another test's windows when the
    end-to-end tests run side by side. Without Xvfb the display of the
    environment, if any, is used."""
    xvfb = shutil.which("Xvfb")
    if xvfb is None:
        yield os.environ.get("DISPLAY")
        return
    read_end, write_end = os.pipe()
    server = subprocess.Popen([xvfb, "-displayfd", str(write_end), "-screen", "0", "1024x768x24",
                               "-nolisten", "tcp"], pass_fds=(write_end,),
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    with os.fdopen(read_end) as announced:
        number = announced.readline().strip()
    if not number:
        server.kill()
        server.wait()
        pytest.fail("the virtual display did not start")
    saved = os.environ.get("DISPLAY")
    os.environ["DISPLAY"] = f":{number}"
    try:
        yield os.environ["DISPLAY"]
    finally:
        if saved is None:
            os.environ.pop("DISPLAY", None)
        else:
            os.environ["DISPLAY"] = saved
        server.terminate()
        try:
            server.wait(timeout=10)
        except subprocess.TimeoutExpired:
            server.kill()
            server.wait()


def wait_for(predicate, timeout=20.0, step=0.1):
    """Polls until predicate() is true; returns its last value."""
    end = time.monotonic() + timeout
    while True:
        value = predicate()
        if value or time.monotonic() > end:
            return value
        time.sleep(step)


class Meter:
    """One meter process on its own device root. The meter ignores SIGTERM,
    so it is always ended with SIGKILL."""

    def __init__(self, root: Path):
        self.root = root
        self.proc = None
        self.stdout_path = root.parent / "stdout.txt"
        self.stderr_path = root.parent / "stderr.txt"

    def prepare_device(self, debug_categories=None):
        (self.root / "dev/input").mkdir(parents=True)
        os.mkfifo(self.root / "dev/input/event0")
        (self.root / "tmp").mkdir()
        if debug_categories is not None:
            self.trace(*debug_categories)

    def trace(self, *categories):
        """Turns on the meter's debug trace for these log categories."""
        (self.root / "tmp").mkdir(exist_ok=True)
        (self.root / "tmp/debug").touch()
        (self.root / "tmp/logConfig").write_text("".join(f"{c}\n" for c in categories))

    def run(self, *args, timeout=20):
        return subprocess.run([os.environ["METERAPP"], *args], env=self.env(),
                              capture_output=True, text=True, timeout=timeout)

    def start(self, *args):
        self.proc = subprocess.Popen(
            [os.environ["METERAPP"], *args], env=self.env(),
            stdout=open(self.stdout_path, "w"), stderr=open(self.stderr_path, "w"),
            start_new_session=True)

    def env(self):
        env = dict(os.environ)
        env["METER_ROOT"] = str(self.root)
        env["METER_SCPI_PORT"] = "0"
        env.pop("GTK_MODULES", None)
        env["NO_AT_BRIDGE"] = "1"  # no accessibility bus on a test display
        return env

    def stdout(self):
        return self.stdout_path.read_text(errors="replace")

    def messages(self):
        path = self.root / "var/log/messages"
        return path.read_text(errors="replace") if path.exists() else ""

    def running(self):
        return self.proc is not None and self.proc.poll() is None

    def wait_started(self):
        """The meter has started once its start-up messages reach the log."""
        assert wait_for(lambda: "Application directory = " in self.messages() or not self.running()), \
            "the meter did not start"
        assert self.running(), f"the meter ended: {self.stderr_path.read_text()}"

    def kill(self):
        if self.running():
            os.killpg(self.proc.pid, signal.SIGKILL)
        if self.proc is not None:
            self.proc.wait(timeout=10)


@pytest.fixture
def meter():
    if not os.environ.get("DISPLAY"):
        pytest.skip("needs a display (run under xvfb-run -a)")
    with tempfile.TemporaryDirectory(prefix="meter-e2e-") as scratch:
        root = Path(scratch) / "root"
        root.mkdir()
        m = Meter(root)
        try:
            yield m
        finally:
            m.kill()


class Simulator:
    """The project's sensor simulator on a device root, driven through its
    control socket (r9050-sim --send)."""

    def __init__(self, root: Path, log: Path):
        self.root = root
        self.log = log
        self.proc = None

    def start(self, *sensors, unpaced=False):
        """sensors: ("serial1", "C604"), ("usb1", "P804"), ..."""
        args = [os.environ["R9050_SIM"], "--root", str(self.root), "--no-stdin"]
        for port, model in sensors:
            args += [f"--{port}", model]
        if unpaced:
            args.append("--unpaced")
        self.proc = subprocess.Popen(args, stdout=open(self.log, "w"), stderr=subprocess.STDOUT,
                                     start_new_session=True)
        assert wait_for(lambda: "READY" in self.log.read_text() or self.proc.poll() is not None), \
            "the simulator did not start"
        assert self.proc.poll() is None, self.log.read_text()

    def send(self, *command):
        """One control command; returns the simulator's answer line."""
        out = subprocess.run([os.environ["R9050_SIM"], "--send", str(self.root / "sim/control.sock"),
                              *command], capture_output=True, text=True, timeout=10)
        return out.stdout.strip()

    def stop(self):
        if self.proc is not None and self.proc.poll() is None:
            os.killpg(self.proc.pid, signal.SIGKILL)
            self.proc.wait(timeout=10)


@pytest.fixture
def simulated_meter():
    """A meter and a simulator sharing one device root. Start the simulator
    first (sim.start(...)), then the meter (meter.prepare_device() is not
    needed: the simulator builds the root)."""
    if not os.environ.get("DISPLAY"):
        pytest.skip("needs a display (run under xvfb-run -a)")
    with tempfile.TemporaryDirectory(prefix="meter-e2e-") as scratch:
        root = Path(scratch) / "root"
        root.mkdir()
        sim = Simulator(root, Path(scratch) / "sim.log")
        m = Meter(root)
        try:
            yield m, sim
        finally:
            m.kill()
            sim.stop()


# ---- Remote control (SCPI over TCP and RS-232) ----

import re
import socket


def scpi_port(meter, timeout=20.0):
    """The TCP port the meter's SCPI server chose (METER_SCPI_PORT=0); the
    meter logs it once it listens."""
    found = wait_for(lambda: re.search(r"SCPI server listening on port (\d+)", meter.messages()),
                     timeout=timeout)
    assert found, "the SCPI server did not start:\n" + meter.messages()[-2000:]
    return int(found.group(1))


class ScpiClient:
    """A raw SCPI socket client: send lines, read CR LF ended replies."""

    def __init__(self, port, timeout=5.0):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=timeout)
        self.buffer = b""

    def send(self, data):
        self.sock.sendall(data if isinstance(data, bytes) else data.encode())

    def readline(self, timeout=5.0):
        self.sock.settimeout(timeout)
        while b"\r\n" not in self.buffer:
            chunk = self.sock.recv(65536)
            if not chunk:
                raise ConnectionError("the meter closed the connection")
            self.buffer += chunk
        line, self.buffer = self.buffer.split(b"\r\n", 1)
        return line.decode()

    def ask(self, message, timeout=5.0):
        self.send(message + "\n")
        return self.readline(timeout)

    def close(self):
        self.sock.close()

    def finish(self, timeout=10.0):
        """Half-closes, reads what is still coming and waits until the meter
        closes its end: when this returns the meter has let the connection go
        (close() alone returns before the meter has even seen the end)."""
        self.sock.shutdown(socket.SHUT_WR)
        self.sock.settimeout(timeout)
        try:
            while self.sock.recv(65536):
                pass
        finally:
            self.sock.close()


def _prepare_scpi_root(root, settings_lines=(), interfaces=None):
    if settings_lines:
        path = root / "etc/meterapp/TalvekApplicationSettings.conf"
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_text("".join(line + "\n" for line in settings_lines))
    if interfaces is not None:
        path = root / "etc/network/interfaces"
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_text(interfaces)


DEFAULT_INTERFACES = ("auto lo\niface lo inet loopback\n\nauto eth0\niface eth0 inet dhcp\n\n"
                      "auto eth0:0\niface eth0:0 inet static\n    address 192.168.254.254\n"
                      "    netmask 255.255.255.0\n")


@pytest.fixture
def scpi_meter_factory(simulated_meter):
    """Starts the simulator (no sensors) and the meter on one root, after
    writing the given settings lines and interfaces file into the root.
    Returns (meter, sim, port)."""
    meter, sim = simulated_meter

    def start(settings_lines=(), interfaces=DEFAULT_INTERFACES):
        sim.start()
        _prepare_scpi_root(meter.root, settings_lines, interfaces)
        meter.start()
        meter.wait_started()
        return meter, sim, scpi_port(meter)

    return start


@pytest.fixture
def scpi_meter(scpi_meter_factory):
    """A meter with its SCPI servers up: (meter, sim, port)."""
    return scpi_meter_factory()
