"""The older meter's character protocol on the RS-232 port of the real meter,
spoken from the simulator's remote-computer end of the line with pyserial."""
import subprocess
import time

import pytest
import serial

from conftest import ANSWER, wait_for

SETTINGS = "etc/meterapp/TalvekApplicationSettings.conf"
BUILD_RECORD = "usr/local/etc/defconfig/buildInstalled"
ETH0 = "sys/class/net/eth0"
BUILD_FIELDS = "r9050-sim 2026-01-15T10:00:00 00000000-sim0-0000-0000-000000009050"


class Line:
    """The remote computer's end of the RS-232 cable."""

    def __init__(self, path):
        self.port = serial.Serial(str(path), 9600, timeout=0.2)

    def ask(self, text, quiet=0.6):
        self.port.write(text.encode())
        return self.collect(quiet)

    def collect(self, quiet=0.6):
        """Everything that arrives until the line has been quiet for `quiet` s."""
        data = b""
        last = time.monotonic()
        while time.monotonic() - last < quiet:
            chunk = self.port.read(256)
            if chunk:
                data += chunk
                last = time.monotonic()
        return data.decode(errors="replace")

    def wait_answer(self, timeout):
        """The first whole line that arrives within `timeout` s, or ''."""
        data = b""
        end = time.monotonic() + timeout
        while time.monotonic() < end and not data.endswith(b"\r\n"):
            data += self.port.read(256)
        return data.decode(errors="replace")

    def close(self):
        self.port.close()


def start_legacy(meter, sim, sensors=(("serial1", "C604"),), before=(), settings=()):
    """Starts the simulator with `sensors`, sends it the `before` commands
    (the meter reads a sensor's rating when it identifies it), then the meter
    in legacy mode with the extra settings lines; returns the line once the
    interface answers."""
    sim.start(*sensors)
    for command in before:
        assert sim.send(*command).startswith("OK"), command
    (meter.root / SETTINGS).write_text("".join(f"{s}\n" for s in ("useLegacyRS232Commands 1", *settings)))
    meter.start()
    meter.wait_started()
    line = Line(meter.root / "sim/rs232")
    assert wait_for(lambda: line.ask("U2", quiet=0.3) == " R904   0100 RS232\r\n", timeout=15)
    return line


@pytest.fixture
def legacy_factory(simulated_meter):
    meter, sim = simulated_meter
    lines = []

    def start(**kwargs):
        line = start_legacy(meter, sim, **kwargs)
        lines.append(line)
        return meter, sim, line

    try:
        yield start
    finally:
        for line in lines:
            line.close()


@pytest.fixture
def legacy_meter(legacy_factory):
    return legacy_factory()


def answer_channel_question(meter, port):
    """Takes the channel the meter offers for `port` (channel 1) on its dialog."""
    assert wait_for(lambda: f"ChannelDialog: asking for the channel of port {port}" in meter.messages())
    assert wait_for(lambda: subprocess.run([str(ANSWER)]).returncode == 0, timeout=10), "no channel dialog"


def answered(line, request, expected, timeout=15):
    """Sends `request` until the meter answers `expected` (a new value set in
    the simulator reaches the meter within a reading cycle or two)."""
    return wait_for(lambda: line.ask(request, quiet=1.0) == expected, timeout=timeout, step=0.2)


def test_status_answers(legacy_meter):
    meter, _, line = legacy_meter
    assert line.ask("U0") == " R904  FCRYYPYYTT1XF\r\n"
    assert line.ask("R05rcT5U0") == " R904  RCR05PYYTT5XF\r\n"
    assert line.ask("RYYU0") == " R904  RCRYYPYYTT5XF\r\n"
    assert line.ask("u2") == " R904   0100 RS232\r\n"
    # The meter answers with the device's own interface files.
    mac = (meter.root / ETH0 / "address").read_text().strip()
    ip = (meter.root / ETH0 / "ipv4_address").read_text().strip()
    assert ip and mac
    assert line.ask("UA") == f"UA {mac};{ip};{BUILD_FIELDS}\r\n"

    # Long build-record fields are cut to their size; the answer stays whole.
    (meter.root / BUILD_RECORD).write_text(
        "BUILD_HOSTNAME=" + "h" * 40 + "\r\nBUILD_DATE=" + "d" * 40 + "\nBUILD_UUID=" + "u" * 60 + "\n")
    assert line.ask("UA") == f"UA {mac};{ip};{'h' * 32} {'d' * 32} {'u' * 48}\r\n"
    (meter.root / BUILD_RECORD).unlink()
    assert line.ask("UA") == f"UA {mac};{ip};  \r\n"
    assert meter.running()


@pytest.mark.parametrize("text, status", [
    ("", " R904  VCM VCO FL \r\n"),
    ("FQ", " R904  ICM VCO FL \r\n"),
    ("R18", " R904  VCM ICO FL \r\n"),
    ("FC\r\n", " R904  ICM VCO FL \r\n"),
    ("J0", " R904  VCM VCO PS \r\n"),
    ("YTPYXF", " R904  VCM VCO FL \r\n"),
    ("U9J0", " R904  VCM ICO PS \r\n"),
])
def test_grammar_and_status_flags(legacy_meter, text, status):
    _, _, line = legacy_meter
    line.ask("U1")  # fresh flags (the start-up probe left them valid anyway)
    assert line.ask(text + "U1") == status
    assert line.ask("U1") == " R904  VCM VCO FL \r\n"  # U1 resets the flags


def test_int_writes_the_defaults_but_keeps_the_legacy_flags_and_ranges(legacy_meter):
    meter, _, line = legacy_meter
    settings = meter.root / SETTINGS
    assert line.ask("R05T5INTU0") == " R904  FCR05PYYTT1XF\r\n"
    text = settings.read_text()
    assert "useLegacyRS232Commands 1" in text
    assert "sensorPulseMode 0" in text  # the whole default record was written


# Readings of the serial sensor (rated 200 W here): (quantity, watts, request, answer).
SERIAL_READINGS = [
    ("fwd", "12.5", "T1R10ENT", "NFC  12.500   W\r\n"),
    ("fwd", "12.5", "R10ent", "NFC  12.500   W\r\n"),  # letters in either case
    ("rfl", "0.0001234", "R07RCENT", "NRC   .1234  mW\r\n"),  # the zero before the point is blanked
    ("fwd", "12.5", "RYYFCENT", "NFC  12.500   W\r\n"),  # auto-ranged into row 10
    ("fwd", "250", "RYYFCENT", "OFC  199.99  KW\r\n"),  # over the rating: the coarsest row of its unit
    ("fwd", "250", "R10FCENT", "OFC  199.99   W\r\n"),
    ("fwd", "150", "R11FCENT", "NFC  150.00   W\r\n"),
]


def test_readings_of_the_serial_sensor(legacy_factory):
    _, sim, line = legacy_factory(before=[("set", "serial1", "maxpower", "200")])
    for quantity, watts, request, expected in SERIAL_READINGS:
        assert sim.send("set", "serial1", quantity, watts).startswith("OK")
        assert answered(line, request, expected), (quantity, watts, request, line.ask(request, quiet=1.0))


def test_negative_and_unmeasured_readings_of_a_usb_sensor(legacy_factory):
    _, sim, line = legacy_factory(sensors=(("usb1", "P804"),))
    assert sim.send("set", "usb1", "fwd", "3").startswith("OK")
    assert answered(line, "R10ENT", "NFC   3.000   W\r\n", timeout=30)
    # Below zero is the zero offset's noise: shown as no power.
    assert sim.send("set", "usb1", "fwd", "-0.5").startswith("OK")
    assert answered(line, "ENT", "NFC   0.000   W\r\n")
    # A reading that is not a number is not answered, and the meter carries on.
    assert sim.send("set", "usb1", "fwd", "nan").startswith("OK")
    time.sleep(2.0)  # the sensor's next readings are NaN
    for _ in range(3):
        assert line.ask("ENT", quiet=1.5) == ""
    assert line.ask("U0") == " R904  FCR10PYYTT1XF\r\n"
    assert sim.send("set", "usb1", "fwd", "4").startswith("OK")
    assert answered(line, "ENT", "NFC   4.000   W\r\n")


# How each mode asks for one reading: (extra settings, mode commands, request).
REQUEST_MODES = [
    pytest.param((), "T1R10", "ENT", id="T1 ENT"),
    pytest.param((), "T5R10", "FCENT", id="T5 FC ENT"),
    pytest.param(("legacyCommandModeSW 1",), "T5R10", "FC", id="command mode T5 FC"),
]


@pytest.mark.parametrize("settings, mode, ask_reading", REQUEST_MODES)
def test_a_request_is_answered_only_after_a_new_reading_of_the_answered_port(legacy_factory, settings, mode,
                                                                             ask_reading):
    meter, sim, line = legacy_factory(settings=settings)
    # The serial sensor takes display channel 1, then a USB sensor channel 2;
    # the USB sensor keeps measuring throughout, and its readings must not
    # release an answer about the serial sensor.
    answer_channel_question(meter, 0)
    assert wait_for(lambda: "channel 0 Connecting -> Measuring (port Serial1)" in meter.messages(), timeout=30)
    assert sim.send("set", "usb1", "fwd", "9").startswith("OK")
    assert sim.send("plug", "usb1", "P804").startswith("OK")
    assert wait_for(lambda: "channel 1 Connecting -> Measuring (port USB1)" in meter.messages(), timeout=30)
    line.ask(mode)
    assert sim.send("set", "serial1", "fwd", "5").startswith("OK")
    assert answered(line, ask_reading, "NFC   5.000   W\r\n")
    # The sensor stops answering; the meter still holds its last reading of 5 W.
    assert sim.send("fault", "serial1", "silent").startswith("OK")
    time.sleep(1.0)  # a cycle under way may still finish
    assert sim.send("set", "serial1", "fwd", "7").startswith("OK")
    assert line.ask(ask_reading, quiet=2.0) == ""  # no new reading: no answer, above all not the stale 5 W
    # Once the sensor answers again its next reading releases the request.
    assert sim.send("fault", "serial1", "none").startswith("OK")
    assert line.wait_answer(timeout=15) == "NFC   7.000   W\r\n"


def test_trigger_mode_5_needs_a_fresh_selection(legacy_meter):
    _, sim, line = legacy_meter
    assert sim.send("set", "serial1", "fwd", "12.5").startswith("OK")
    assert answered(line, "R10ENT", "NFC  12.500   W\r\n")
    assert line.ask("T5ENT", quiet=2.0) == ""  # no FC or RC since T5
    assert line.ask("FCENT", quiet=2.0) == "NFC  12.500   W\r\n"
    assert line.ask("ENT", quiet=2.0) == ""  # the selection was used up
    assert line.ask("RCENT", quiet=2.0).startswith("NRC")
