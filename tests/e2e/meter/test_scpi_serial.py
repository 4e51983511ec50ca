"""SCPI on the RS-232 port: a terminal program (pyserial) at the remote
computer's end of the simulated null-modem cable, and the settings the
meter keeps for the port."""
import termios
import time

import pytest

from conftest import ScpiClient, wait_for

serial = pytest.importorskip("serial")

STORED_7E2 = ("serialSpeed 4800", "serialDataBits 7", "serialStopBits 2", "serialParity EVEN")


def settings(meter):
    return (meter.root / "etc/meterapp/TalvekApplicationSettings.conf").read_text()


def open_terminal(meter):
    return serial.Serial(str(meter.root / "sim/rs232"), 9600, timeout=3)


def serial_server_up(meter):
    return wait_for(lambda: "scpiSerialServerThread(): Starting..." in meter.messages()) and \
        wait_for(lambda: "serialDataBits" in settings(meter))


def test_stored_line_settings_survive_the_start(scpi_meter_factory):
    meter, _, port = scpi_meter_factory(settings_lines=STORED_7E2)
    assert serial_server_up(meter)
    time.sleep(0.5)
    text = settings(meter)
    for line in STORED_7E2:
        assert line + "\n" in text, text
    c = ScpiClient(port)
    assert c.ask("SYST:COMM:RS232:BAUD?;LENGTH?;STOP?;PAR?") == "4800;7;2;e"
    c.close()
    # The meter's end of the cable runs at the stored speed.
    with open(meter.root / "dev/ttyS4", "rb", buffering=0) as tty:
        attrs = termios.tcgetattr(tty.fileno())
    assert attrs[4] == termios.B4800


def test_a_terminal_is_answered_line_by_line_and_cr_alone_ends_nothing(scpi_meter):
    meter, _, _ = scpi_meter
    assert serial_server_up(meter)
    with open_terminal(meter) as term:
        term.write(b"*IDN?\n")
        assert term.readline().startswith(b"TALVEK,R9050,905026001,")
        term.write(b"*OPC?\r")
        term.timeout = 1.5
        assert term.read(3) == b""
        term.timeout = 3
        term.write(b"\n")
        assert term.readline() == b"1\r\n"
        # Errors of the serial transport are its own.
        term.write(b"SERIAL:BAD\n")
        time.sleep(0.3)
        term.write(b"SYST:ERR?\n")
        assert term.readline() == b'-113,"Undefined header;SERIAL:BAD"\r\n'
        # Input that arrives with a line, before its reply, is discarded; the
        # reply itself is complete.
        term.write(b"SYST:IDEN:SN?\nSYST:IDEN?\n")
        assert term.readline() == b"905026001\r\n"
        term.timeout = 1.5
        assert term.read(10) == b""


def test_legacy_mode_leaves_no_scpi_on_the_port(scpi_meter_factory):
    meter, _, port = scpi_meter_factory(settings_lines=("useLegacyRS232Commands 1",))
    c = ScpiClient(port)
    assert c.ask("*OPC?") == "1", "TCP serves in legacy mode too"
    c.close()
    assert "scpiSerialServerThread" not in meter.messages()
    with open_terminal(meter) as term:
        term.timeout = 1.5
        term.write(b"*IDN?\n")
        assert b"TALVEK" not in term.read(200)
