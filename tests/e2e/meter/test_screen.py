"""What the real meter shows on its screen while sensors are plugged into the
simulator and pulled out again.

With the SensorManager category on, the screen side of the display channels
writes to the meter's standard output every container it shows or hides
("DisplayView: show dualSensorContainer"), every page text it writes, and
after each update what a power display shows, read back from its widgets:

  DisplayView: display 0 on screen: "C604: 12345678" | FWD: "  25.00" W | RFL: ... | VSWR: "   1.22"

"on screen" means the display's container and all its parents are shown.
The texts written to the no-connection pages go to the system log
('DisplayView: page 9 "No Sensor Detected" "Please Connect ..."').
The tests follow these lines and save screenshots of the virtual display
under build/artifacts/."""
import re
import subprocess
import time

from conftest import ANSWER, channel_dialog_open, screenshot, start_traced, wait_for


# Display instances (their order in the window).
SINGLE_CW, DUAL_UPPER_CW, DUAL_LOWER_CW = 0, 2, 4
SHOWN = re.compile(r'DisplayView: display (\d+) (on|off) screen: "([^"]*)" \| (.*?) \| (.*?) \| (.*)$', re.M)
ROW = re.compile(r'(\S+) "([^"]*)" ?(\S*)')


class Shown:
    """One 'what a display shows' line."""

    def __init__(self, match):
        self.instance = int(match.group(1))
        self.on_screen = match.group(2) == "on"
        self.label = match.group(3)
        self.rows = {}
        for text in match.groups()[3:]:
            row = ROW.match(text)
            if row:
                self.rows[row.group(1)] = (row.group(2), row.group(3))

    def value(self, title):
        text = self.rows.get(title, ("", ""))[0].strip()
        try:
            return float(text)
        except ValueError:
            return None

    def watts(self, title):
        """A power row's value in watts, through its units."""
        value = self.value(title)
        scale = {"W": 1.0, "mW": 1e-3, "kW": 1e3}.get(self.units(title))
        return None if value is None or scale is None else value * scale

    def units(self, title):
        return self.rows.get(title, ("", ""))[1]

    def __repr__(self):
        return f"display {self.instance} {'on' if self.on_screen else 'off'} screen {self.label!r} {self.rows}"


def shown(meter, since=0):
    return [Shown(m) for m in SHOWN.finditer(meter.stdout()[since:])]


def last_shown(meter, instance, since=0):
    lines = [s for s in shown(meter, since) if s.instance == instance]
    return lines[-1] if lines else None


def showing(meter, instance, since=0, **want):
    """The last line of `instance` after offset `since` if it is on screen and
    matches: label (prefix), fwd and rfl (watts, to the digits shown)."""
    s = last_shown(meter, instance, since)
    if s is None or not s.on_screen:
        return None
    if "label" in want and not s.label.startswith(want["label"]):
        return None
    for key, title in (("fwd", "FWD:"), ("rfl", "RFL:")):
        if key in want and not close(s.watts(title), want[key]):
            return None
    return s


def close(shown_watts, watts):
    return shown_watts is not None and abs(shown_watts - watts) <= 1e-4 * max(1.0, abs(watts))


def mark(meter):
    return len(meter.stdout())


def page_text(meter, instance):
    pages = re.findall(rf'DisplayView: page {instance} "([^"]*)" "([^"]*)"', meter.messages())
    return pages[-1] if pages else None


def test_no_sensor_shows_the_no_sensor_page(simulated_meter):
    meter, sim = simulated_meter
    start_traced(meter, sim)
    assert wait_for(lambda: page_text(meter, 9))
    title, description = page_text(meter, 9)
    assert title == "No Sensor Detected"
    assert description.startswith("Please Connect a Talvek Precision CW")
    assert "channels SingleSensor, channel 0 full NotConnected port None" in meter.messages()
    time.sleep(1.5)  # the category log is on by now
    assert "DisplayView: show dualSensorContainer" not in meter.stdout()
    assert "DisplayView: show singleMeasurementView" not in meter.stdout()
    assert SHOWN.search(meter.stdout()) is None  # no power display was fed
    screenshot("meter_no_sensor.png")


def test_plug_two_sensors_then_pull_one(simulated_meter):
    meter, sim = simulated_meter
    start_traced(meter, sim)

    # One serial sensor: the question, then "Connecting..." and its readings
    # full screen.
    sim.send("plug", "serial1", "C604")
    assert wait_for(channel_dialog_open, timeout=15), "the channel dialog did not appear"
    screenshot("meter_channel_question.png")
    for _ in range(5):  # a click that came before the dialog was drawn is answered again
        subprocess.run([str(ANSWER)], check=True)
        if wait_for(lambda: not channel_dialog_open(), timeout=3):
            break
    assert wait_for(lambda: (page_text(meter, 9) or ("",))[0] == "Connecting..."), meter.messages()[-2000:]
    assert "Precision CW sensor on port Serial1" in page_text(meter, 9)[1]
    screenshot("meter_connecting.png")
    assert wait_for(lambda: showing(meter, SINGLE_CW, label="C604"), timeout=30), last_shown(meter, SINGLE_CW)
    at = mark(meter)
    sim.send("set", "serial1", "fwd", "25")
    sim.send("set", "serial1", "rfl", "0.25")
    single = wait_for(lambda: showing(meter, SINGLE_CW, at, fwd=25.0, rfl=0.25), timeout=10)
    assert single, last_shown(meter, SINGLE_CW)
    assert single.rows["FWD:"][0] == "  25.00" and single.units("FWD:") == "W"
    assert single.value("VSWR:") == 1.22  # rho = sqrt(0.25 / 25) = 0.1
    assert re.match(r"C604\w*: \S+", single.label), single.label
    time.sleep(0.7)  # one more pass, so that the picture holds the values
    screenshot("meter_one_sensor.png")

    # A USB sensor: no question, channel 2; both share the screen and the
    # serial sensor's readings go on in the upper half.
    at = mark(meter)
    sim.send("plug", "usb1", "P804")
    assert wait_for(lambda: "DisplayView: show dualSensorContainer" in meter.stdout()[at:])
    assert wait_for(lambda: (page_text(meter, 11) or ("",))[0] == "Connecting...")
    assert "Precision CW & Pulse sensor on port USB1" in page_text(meter, 11)[1]
    assert wait_for(lambda: showing(meter, DUAL_UPPER_CW, at, label="C604"))
    assert not channel_dialog_open()
    screenshot("meter_second_sensor_connecting.png")
    assert wait_for(lambda: showing(meter, DUAL_LOWER_CW, at, label="P80"), timeout=30), \
        last_shown(meter, DUAL_LOWER_CW)
    at = mark(meter)
    sim.send("set", "usb1", "fwd", "3")
    sim.send("set", "serial1", "fwd", "612")
    assert wait_for(lambda: showing(meter, DUAL_LOWER_CW, at, fwd=3.0), timeout=10), last_shown(meter, DUAL_LOWER_CW)
    assert wait_for(lambda: showing(meter, DUAL_UPPER_CW, at, fwd=612.0), timeout=10), last_shown(meter, DUAL_UPPER_CW)
    # The full-screen display is no longer fed.
    assert last_shown(meter, SINGLE_CW, at) is None
    time.sleep(0.7)
    screenshot("meter_two_sensors.png")

    # Pulling the serial sensor gives the USB sensor the whole screen.
    at = mark(meter)
    sim.send("pull", "serial1")
    assert wait_for(lambda: "DisplayView: show singleSensorContainer" in meter.stdout()[at:])
    after = wait_for(lambda: showing(meter, SINGLE_CW, at, label="P80", fwd=3.0), timeout=10)
    assert after, last_shown(meter, SINGLE_CW, at)
    assert after.units("FWD:") == "W"
    # The halves are no longer fed.
    at = mark(meter)
    time.sleep(1.0)
    assert last_shown(meter, DUAL_UPPER_CW, at) is None and last_shown(meter, DUAL_LOWER_CW, at) is None
    assert last_shown(meter, SINGLE_CW, at).on_screen
    screenshot("meter_after_pull.png")

    # And the last one: the no-sensor page again.
    at = mark(meter)
    sim.send("pull", "usb1")
    assert wait_for(lambda: "DisplayView: show noConnectionScreen" in meter.stdout()[at:])
    assert page_text(meter, 9)[0] == "No Sensor Detected"
    assert meter.running()
