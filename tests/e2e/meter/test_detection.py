"""Sensors plugged into the simulator while the real meter runs: detection,
the channel question, the display channels and their readings.

The meter's display state machine reports every layout change in the system
log ("DisplayFSM: channels ..."), and with the SensorManager category on it
writes each reading it shows to its standard output; the tests read both."""
import os
import random
import re
import subprocess
import time

from conftest import ANSWER, channel_dialog_open, screenshot, start_traced, wait_for



def channels(meter):
    """The last layout line of the display channels, or ''."""
    lines = re.findall(r"DisplayFSM: channels (.*)", meter.messages())
    return lines[-1] if lines else ""


def answer_dialog():
    assert wait_for(channel_dialog_open, timeout=10), "the channel dialog did not appear"
    subprocess.run([str(ANSWER)], check=True)


def readings(meter, channel, port):
    return [float(v) for v in re.findall(
        rf"DisplayFSM: channel {channel} port {port} CW fwd (\S+) W", meter.stdout())]


def plug_serial_and_answer(meter, sim):
    sim.send("plug", "serial1", "C604")
    assert wait_for(lambda: "ChannelDialog: asking for the channel of port 0" in meter.messages())
    screenshot("detection-channel-dialog.png")
    answer_dialog()
    assert wait_for(lambda: "channel 0 full Connecting port Serial1" in channels(meter)), channels(meter)


def test_no_sensor_shows_the_no_connection_page(simulated_meter):
    meter, sim = simulated_meter
    start_traced(meter, sim)
    start_page = "SingleSensor, channel 0 full NotConnected port None, channel 1 inactive NotConnected port None"
    assert wait_for(lambda: channels(meter) == start_page), channels(meter)
    time.sleep(1.5)
    assert "ChannelDialog: asking" not in meter.messages()
    assert not channel_dialog_open()
    assert meter.messages().count("DisplayFSM: channels") == 1  # the start page only, no connect


def test_a_serial_sensor_asks_for_its_channel_and_shows_its_readings(simulated_meter):
    meter, sim = simulated_meter
    start_traced(meter, sim)
    plug_serial_and_answer(meter, sim)
    assert "ChannelDialog: port 0 on channel 1" in meter.stdout()
    assert wait_for(lambda: "DisplayFSM: channel 0 Connecting -> Measuring (port Serial1)" in meter.messages(),
                    timeout=30)
    assert wait_for(lambda: readings(meter, 0, "Serial1"))
    sim.send("set", "serial1", "fwd", "25")
    assert wait_for(lambda: 25.0 in readings(meter, 0, "Serial1"), timeout=10)
    screenshot("detection-serial-readings.png")


def test_a_usb_sensor_takes_the_other_channel_without_asking(simulated_meter):
    meter, sim = simulated_meter
    start_traced(meter, sim)
    plug_serial_and_answer(meter, sim)
    sim.send("plug", "usb1", "P804")
    assert wait_for(lambda: "channel 1 half Connecting port USB1" in channels(meter)), channels(meter)
    assert channels(meter).startswith("DualSensors, channel 0 half")
    assert meter.messages().count("ChannelDialog: asking") == 1
    assert not channel_dialog_open()
    # Serial1 keeps measuring on its half while USB1 connects.
    count = len(readings(meter, 0, "Serial1"))
    assert wait_for(lambda: len(readings(meter, 0, "Serial1")) > count + 2)
    screenshot("detection-two-sensors.png")
    # Pulling one gives the other the full screen.
    sim.send("pull", "serial1")
    assert wait_for(lambda: channels(meter).startswith("SingleSensor, channel 0 inactive")), channels(meter)
    # USB1 may have finished connecting while Serial1 was measured: either
    # way it now has the whole screen.
    assert re.search(r"channel 1 full (Connecting|Measuring) port USB1", channels(meter)), channels(meter)
    assert wait_for(lambda: readings(meter, 1, "USB1"), timeout=30)
    sim.send("set", "usb1", "fwd", "3")
    assert wait_for(lambda: 3.0 in readings(meter, 1, "USB1"), timeout=10)


def open_descriptors(pid):
    return len(os.listdir(f"/proc/{pid}/fd"))


def test_hot_plug_storm(simulated_meter):
    meter, sim = simulated_meter
    sim.start(unpaced=True)
    (meter.root / "tmp").mkdir(exist_ok=True)
    meter.start()
    meter.wait_started()
    time.sleep(2)
    before = open_descriptors(meter.proc.pid)
    rng = random.Random(19)
    ports = ["serial1", "serial2", "usb1", "usb2"]
    models = {"serial1": "C604", "serial2": "C604", "usb1": "P804", "usb2": "P804"}
    plugged = set()
    for _ in range(1000):
        port = rng.choice(ports)
        if port in plugged:
            sim.send("pull", port)
            plugged.discard(port)
        else:
            sim.send("plug", port, models[port])
            plugged.add(port)
        if rng.random() < 0.05 and channel_dialog_open():
            subprocess.run([str(ANSWER)], check=False)
        time.sleep(rng.uniform(0.0, 0.02))
        assert meter.running(), "the meter ended during the storm"
    # Settle: answer every question until both channels hold what is plugged.
    # A USB sensor takes the first free USB slot whatever its node, so USB
    # sensors are counted; serial ports keep their names.
    def settled():
        if channel_dialog_open():
            subprocess.run([str(ANSWER)], check=False)
            return False
        shown = set(re.findall(r"port (\w+)", channels(meter))) - {"None"}
        serial_shown = {p.lower() for p in shown if p.startswith("Serial")}
        usb_shown = len([p for p in shown if p.startswith("USB")])
        usb_plugged = len([p for p in plugged if p.startswith("usb")])
        # At most two sensors are shown; the others wait for a free slot.
        return (len(shown) == min(2, len(plugged)) and serial_shown <= plugged and usb_shown <= usb_plugged)
    assert wait_for(settled, timeout=30), (plugged, channels(meter))
    for port in list(plugged):
        sim.send("pull", port)
    assert wait_for(lambda: "channel 0 full NotConnected port None" in channels(meter) and
                    "channel 1 inactive" in channels(meter), timeout=20), channels(meter)
    # The meter opens files of its own now and then (the battery gauge, the
    # device list), so a count taken at one instant may hold one of them: a
    # leak is a count that stays above the baseline.
    back_to_baseline = wait_for(lambda: open_descriptors(meter.proc.pid) == before, timeout=10)
    after = open_descriptors(meter.proc.pid)
    assert meter.running()
    print(f"storm: 1000 events, descriptors before {before} after {after}")
    assert back_to_baseline, f"descriptors before {before}, still {after} 10 s after the storm"
