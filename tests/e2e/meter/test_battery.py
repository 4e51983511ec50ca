"""The battery monitor and the critical-battery supervisor of the real meter,
against the simulator's charger and fuel-gauge files."""
import re
import time

from conftest import wait_for

SUPERVISOR = re.compile(r"state = (\d), batteryPercent = (-?\d+), threshold = 1\.")


def supervisor_passes(meter):
    """(shutdown state, percent) of every battery supervisor pass so far."""
    return [(int(s), int(p)) for s, p in SUPERVISOR.findall(meter.messages())]


def commands(meter):
    path = meter.root / "var/log/commands.log"
    return path.read_text().splitlines() if path.exists() else []


def start(meter, sim, *battery, debug=False, identity=None):
    sim.start()
    for setting in battery:
        assert sim.send("battery", *setting.split()).startswith("OK"), setting
    if identity is not None:
        (meter.root / "etc/meterapp/meterIdentity.conf").write_text(identity)
    if debug:
        meter.trace("BatteryMonitor")
    meter.start()
    meter.wait_started()


def wait_for_warning(meter):
    """Waits for the pass that shows the warning; returns the monotonic time
    at which the supervisor was seen in its warning state."""
    assert wait_for(lambda: (1, 0) in supervisor_passes(meter) or not meter.running(), timeout=20), \
        supervisor_passes(meter)
    assert meter.running()
    return time.monotonic()


def test_flat_battery_without_charger_warns_then_powers_off_after_25_s(simulated_meter):
    meter, sim = simulated_meter
    start(meter, sim, "state 0x0100", "voltage 10.0")
    warned = wait_for_warning(meter)
    passes = supervisor_passes(meter)
    assert passes[0] == (0, 0), passes  # the pass that raised the warning
    # The warning stands for 25 s (five passes) before the power-off.
    assert not wait_for(lambda: "shutdown" in commands(meter), timeout=12)
    assert meter.running()
    assert wait_for(lambda: not meter.running(), timeout=40), "the meter did not power off"
    assert time.monotonic() - warned >= 15
    assert meter.proc.returncode == 0
    assert commands(meter) == ["shutdown"]
    assert "shutDownPower Attempting to issue ARM SHIP MODE" in meter.messages()


def test_the_warning_closes_when_the_charger_returns(simulated_meter):
    meter, sim = simulated_meter
    start(meter, sim, "state 0x0100", "voltage 10.0")
    warned = wait_for_warning(meter)
    assert sim.send("battery", "state", "0x0040").startswith("OK")  # charging again
    count = len(supervisor_passes(meter))
    assert wait_for(lambda: (0, 0) in supervisor_passes(meter)[count:], timeout=15), supervisor_passes(meter)
    # Well past the 25 s of the warning: the meter is still on.
    remaining = 32 - (time.monotonic() - warned)
    if remaining > 0:
        time.sleep(remaining)
    assert meter.running()
    assert "shutdown" not in commands(meter)
    assert all(state == 0 for state, _ in supervisor_passes(meter)[count + 1:]), supervisor_passes(meter)


def test_a_failing_fuel_gauge_keeps_the_last_good_percentage(simulated_meter):
    meter, sim = simulated_meter
    start(meter, sim, "state 0x0100", "voltage 11.55", "temp 26.5")
    assert wait_for(lambda: (0, 61) in supervisor_passes(meter), timeout=15), supervisor_passes(meter)
    # The meter set the charger up as its driver takes it.
    assert sim.send("battery", "read", "configBits_raw") == "OK 12"
    assert sim.send("battery", "read", "armShipMode_raw") == "OK 0"
    assert sim.send("battery", "read", "cOverXTerm_enable") == "OK enable"
    assert sim.send("battery", "read", "inputCurrentLimit_raw") == "OK 39"

    assert sim.send("battery", "remove", "voltage_now") == "OK"
    count = len(supervisor_passes(meter))
    assert wait_for(lambda: len(supervisor_passes(meter)) >= count + 2, timeout=15)
    assert sim.send("battery", "write", "voltage_now", "garbage") == "OK"
    assert sim.send("battery", "remove", "chargerState_raw") == "OK"
    assert wait_for(lambda: len(supervisor_passes(meter)) >= count + 4, timeout=15)
    assert set(supervisor_passes(meter)[count:]) == {(0, 61)}, supervisor_passes(meter)
    assert "shutdown" not in commands(meter)
    assert meter.messages().count("Failed to open fuel gauge file: voltage_now") == 1

    # A hot battery: the supervisor derates the charger's input current.
    assert sim.send("battery", "temp", "50.4") == "OK"
    assert wait_for(lambda: sim.send("battery", "read", "inputCurrentLimit_raw") == "OK 34", timeout=12)
    assert meter.running()


def test_the_percentage_follows_the_accumulated_charge_after_a_full_charge(simulated_meter):
    meter, sim = simulated_meter
    start(meter, sim, "state 0x0040", "voltage 11.55", "charge 9000000", debug=True)
    assert wait_for(lambda: (0, 61) in supervisor_passes(meter), timeout=15), supervisor_passes(meter)
    assert not (meter.root / "root/.battcharged").exists()
    assert sim.send("battery", "read", "charge_now") == "OK 9000000"

    assert sim.send("battery", "state", "0x0008") == "OK"  # C/x termination: full
    assert wait_for(lambda: (meter.root / "root/.battcharged").exists(), timeout=5)
    assert sim.send("battery", "read", "charge_now") == "OK 11140951"
    assert wait_for(lambda: "checkIfCharging: battery fully charged" in meter.stdout(), timeout=5)

    assert sim.send("battery", "state", "0x0100") == "OK"
    assert sim.send("battery", "charge", "8540950") == "OK"
    assert wait_for(lambda: (0, 50) in supervisor_passes(meter), timeout=15), supervisor_passes(meter)


def test_a_model_without_battery_is_never_polled(simulated_meter):
    meter, sim = simulated_meter
    start(meter, sim, "state 0x0100", "voltage 10.0", debug=True, identity="model R90508A\nserial 905080001\n")
    time.sleep(12)  # two supervisor passes
    assert meter.running()
    assert supervisor_passes(meter) == []
    assert "checkBattery" not in meter.stdout()
    assert "checkIfCharging" not in meter.stdout()
    assert "shutdown" not in commands(meter)
