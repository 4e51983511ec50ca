"""The sensor commands against the real meter on the simulator: what a
remote computer reads is what the simulated sensor measures, over pyvisa-py
(TCP) and over pyserial (RS-232), and a pulse configuration set over SCPI
reaches the sensor on COMMit."""
import re
import subprocess
import time

import pytest

from conftest import ANSWER, scpi_port, wait_for

pyvisa = pytest.importorskip("pyvisa")
serial = pytest.importorskip("serial")

STALE = "9.91E+37"


def start_with_usb_sensor(meter, sim, model="P804"):
    """The meter with one USB sensor on channel 1; returns its SCPI port."""
    sim.start(unpaced=True)
    meter.trace("SensorManager")
    meter.start()
    meter.wait_started()
    port = scpi_port(meter)
    assert sim.send("plug", "usb1", model) == "OK"
    assert wait_for(lambda: "ChannelDialog: asking for the channel of port 2" in meter.messages())
    assert wait_for(lambda: subprocess.run([str(ANSWER)]).returncode == 0, timeout=10)
    return port


def configuration_commands(sim):
    """The commands the USB1 sensor received since the last reset, but the
    INIT of every measuring cycle."""
    answer = sim.send("received", "usb1").split()
    assert answer[0] == "OK", answer
    return [item for item in answer[2:] if not item.startswith("INIT=")]


def open_visa(port):
    rm = pyvisa.ResourceManager("@py")
    inst = rm.open_resource(f"TCPIP::127.0.0.1::{port}::SOCKET",
                            read_termination="\r\n", write_termination="\n", timeout=5000)
    return rm, inst


def measuring(inst):
    """Polls until channel 1 answers a reading: no reply while the channel
    has no sensor yet, the stale mark while it identifies."""
    def reading():
        try:
            return inst.query("MEAS:AVER?") not in ("", STALE)
        except pyvisa.errors.VisaIOError:
            return False
    inst.timeout = 1000
    ok = wait_for(reading, timeout=30)
    inst.timeout = 5000
    inst.write("*CLS")
    return ok


def shown(meter):
    """The forward powers the display pass showed for channel 1 (USB1)."""
    return re.findall(r"DisplayFSM: channel 0 port USB1 CW fwd (\S+) W", meter.stdout())


def answer_changes_to(ask, new, limit=10.0):
    """Asks until the answer is `new`; returns (seconds, answers seen before)."""
    begin = time.monotonic()
    seen = []
    while time.monotonic() - begin < limit:
        reply = ask()
        if reply == new:
            return time.monotonic() - begin, seen
        if not seen or seen[-1] != reply:
            seen.append(reply)
    return None, seen


def test_pyvisa_reads_what_the_sensor_measures(simulated_meter):
    meter, sim = simulated_meter
    port = start_with_usb_sensor(meter, sim)
    rm, inst = open_visa(port)
    try:
        assert measuring(inst), "the sensor never measured"
        assert inst.query("MEAS:AVER?") == "1"
        assert inst.query("MEAS:REFL:AVER?;:MEAS:FREQ?;:MEAS:TEMP?") == "0.01;1000;25"
        assert inst.query("SYST:IDEN:SENS?;SENS:SN?;FWR?") == "P804;80412345;1.02.03"
        for value in ("2.5", "0.125", "7e-08", "1234.5"):
            assert sim.send("set", "usb1", "fwd", value) == "OK"
            seconds, before = answer_changes_to(lambda: inst.query("MEAS:AVER?"), value)
            assert seconds is not None, f"{value} never answered; saw {before}"
            # Only the previous value was answered on the way: nothing else.
            assert len(before) <= 1, before
            print(f"fwd {value}: answered after {seconds * 1000:.0f} ms")
        # The display pass feeds the remote copy: once the screen's pass has
        # shown a value, the next query answers it too.
        assert sim.send("set", "usb1", "fwd", "42") == "OK"
        assert wait_for(lambda: "42" in shown(meter), timeout=10), shown(meter)[-3:]
        assert inst.query("MEAS:AVER?") == "42"
        assert inst.query("SYST:ERR?") == '0,"No error"'
    finally:
        inst.close()
        rm.close()


def test_a_pulse_configuration_reaches_the_sensor_on_commit(simulated_meter):
    meter, sim = simulated_meter
    port = start_with_usb_sensor(meter, sim)
    rm, inst = open_visa(port)
    try:
        assert measuring(inst), "the sensor never measured"
        inst.write("CALC:PULS TRIG")
        assert inst.query("SYST:ERR?") == '-100,"Command error;The command is not valid in CW mode."'
        inst.write("SYST:PULS 1")
        assert inst.query("SYST:PULS?") == "1"
        time.sleep(1.5)  # the handler has switched to pulse measuring
        assert sim.send("received", "usb1", "reset") == "OK"
        for line in ("CALC:PULS TRIG", "CALC:STAT1:ENAB 1", "CALC:STAT1:BEG 10 US", "CALC:STAT1:END 20US",
                     "CALC:STAT3:ENAB ON", "CALC:STAT3:BEG 50US", "CALC:STAT3:END 60 US",
                     "TRIG:LEV:AUTO 0", "TRIG:LEV 500 MW", "TRIG:DEL 1 MS"):
            inst.write(line)
        assert inst.query("SYST:ERR?") == '0,"No error"'
        assert configuration_commands(sim) == [], "nothing reaches the sensor before COMMit"
        inst.write("SYST:PULS:CONF:COMM")
        assert inst.query("SYST:ERR?") == '0,"No error"'
        assert "TRIG:LEV=1" in configuration_commands(sim)
        assert sim.send("scpi", "usb1", "TRIG:LEV?") == "OK 0.5"
        assert sim.send("scpi", "usb1", "TRIG:DEL?") == "OK 0.001"
        assert sim.send("scpi", "usb1", "CALC:STAT2:ENAB?") == "OK 1"
        assert sim.send("scpi", "usb1", "CALC:STAT2:BEG:DEL?") == "OK 5e-05"
        assert sim.send("scpi", "usb1", "CALC:STAT3:ENAB?") == "OK 0"
        assert inst.query("CALC:STAT2:ENAB?;:CALC:STAT2:BEG?;:TRIG:LEV?") == "1;5e-05;0.5"
        # The states' readings follow the sensor.
        assert sim.send("set", "usb1", "state2.mean", "0.375") == "OK"
        seconds, before = answer_changes_to(lambda: inst.query("MEAS:STAT2?"), "0.375")
        assert seconds is not None, before
    finally:
        inst.close()
        rm.close()


def test_rs232_reads_what_the_sensor_measures(simulated_meter):
    meter, sim = simulated_meter
    start_with_usb_sensor(meter, sim)
    assert wait_for(lambda: "scpiSerialServerThread(): Starting..." in meter.messages())
    time.sleep(0.5)  # the server has set the line and saved its settings
    with serial.Serial(str(meter.root / "sim/rs232"), 9600, timeout=3) as term:
        def ask(message):
            term.write(message.encode() + b"\n")
            return term.readline().decode().rstrip("\r\n")

        term.timeout = 1
        assert wait_for(lambda: ask("MEAS:AVER?") == "1", timeout=30)
        term.write(b"*CLS\n")
        for value in ("3.25", "6e-08"):
            assert sim.send("set", "usb1", "fwd", value) == "OK"
            seconds, before = answer_changes_to(lambda: ask("MEAS:AVER?"), value)
            assert seconds is not None, f"{value} never answered; saw {before}"
            assert len(before) <= 1, before
        # Pulled: no sensor on the channel, and no reply.
        assert sim.send("pull", "usb1") == "OK"
        assert wait_for(lambda: ask("MEAS:AVER?") == "" and
                        ask("SYST:ERR?") == '-220,"Parameter error;No sensor connected on the channel"',
                        timeout=10)
