"""SCPI over TCP against the real meter on the simulator, with the clients
lab engineers use: pyvisa-py over a SOCKET resource, lxi, and raw sockets."""
import socket
import struct
import subprocess
import time

import pytest

from conftest import ScpiClient

IDN_PREFIX = "TALVEK,R9050,905026001,2026-01-15 10:00:00  00000000-sim0-0000-0000-000000009050"


def test_pyvisa_identifies_the_meter_and_reads_its_errors(scpi_meter):
    pyvisa = pytest.importorskip("pyvisa")
    meter, _, port = scpi_meter
    rm = pyvisa.ResourceManager("@py")
    inst = rm.open_resource(f"TCPIP::127.0.0.1::{port}::SOCKET",
                            read_termination="\r\n", write_termination="\n", timeout=5000)
    try:
        assert inst.query("*IDN?") == IDN_PREFIX
        assert inst.query("SYST:IDEN:SN?") == "905026001"
        inst.write("NOT:A:COMMAND")
        assert inst.query("SYST:ERR?") == '-113,"Undefined header;NOT:A:COMMAND"'
        assert inst.query("SYST:ERR?") == '0,"No error"'
        # The undefined header set the command error bit of the event register.
        assert inst.query("*ESR?") == "32"
        assert inst.query("*ESR?") == "0"
    finally:
        inst.close()
        rm.close()
    assert meter.running()


def test_lxi_one_connection_per_call(scpi_meter):
    meter, _, port = scpi_meter
    for _ in range(5):
        out = subprocess.run(["lxi", "scpi", "-r", "-a", "127.0.0.1", "-p", str(port), "-t", "5", "*IDN?"],
                             capture_output=True, text=True, timeout=30)
        assert out.returncode == 0, out.stderr
        assert out.stdout.strip() == IDN_PREFIX
    out = subprocess.run(["lxi", "scpi", "-r", "-a", "127.0.0.1", "-p", str(port), "-t", "5",
                          "SYST:COMM:RS232:FLOW?"], capture_output=True, text=True, timeout=30)
    assert out.stdout.strip() == "none"
    assert meter.running()


def test_a_command_without_line_end_runs_after_five_seconds(scpi_meter):
    _, _, port = scpi_meter
    c = ScpiClient(port)
    start = time.monotonic()
    c.send("*IDN?")
    assert c.readline(timeout=9) == IDN_PREFIX
    assert time.monotonic() - start >= 4.5
    c.close()


def test_a_second_client_waits_until_the_first_leaves(scpi_meter):
    _, _, port = scpi_meter
    first = ScpiClient(port)
    assert first.ask("*OPC?") == "1"
    second = ScpiClient(port)
    second.send("*OPC?\n")
    with pytest.raises(TimeoutError):
        second.readline(timeout=1.5)
    first.close()
    assert second.readline(timeout=5) == "1"
    second.close()


def test_errors_pass_to_the_next_client_but_not_its_partial_input(scpi_meter):
    _, _, port = scpi_meter
    a = ScpiClient(port)
    a.send("FIRST:BAD\n*IDN")  # an error, then half a query
    time.sleep(0.3)
    a.close()
    b = ScpiClient(port)
    # Merged with a's "*IDN", b's "?" would be answered with the identity.
    b.send("?\n")
    assert b.ask("*OPC?") == "1"
    assert b.ask("SYST:ERR?") == '-113,"Undefined header;FIRST:BAD"'
    assert b.ask("SYST:ERR?").startswith("-1")  # b's own lone "?"
    assert b.ask("SYST:ERR?") == '0,"No error"'
    b.close()


def test_an_overlong_line_gives_overrun_and_the_next_message_works(scpi_meter):
    _, _, port = scpi_meter
    c = ScpiClient(port)
    c.send("SYST:COMM:RS232:BAUD " + "9" * 300 + "\n")
    assert c.ask("*OPC?") == "1"
    assert c.ask("SYST:ERR?") == '-363,"Input buffer overrun"'
    assert c.ask("SYST:ERR?") == '0,"No error"'
    c.close()


def test_a_burst_larger_than_the_buffer_is_all_answered(scpi_meter):
    _, _, port = scpi_meter
    c = ScpiClient(port)
    c.send("SYST:IDEN:SN?\n" * 300)  # 4200 bytes in one go
    replies = [c.readline() for _ in range(300)]
    assert replies == ["905026001"] * 300
    c.close()


def test_a_client_that_leaves_before_its_reply_leaves_the_meter_running(scpi_meter):
    meter, _, port = scpi_meter
    for _ in range(20):
        c = ScpiClient(port)
        c.send("*IDN?\n" * 400)
        # Reset instead of a clean close: the replies meet a dead socket.
        c.sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        c.close()
    c = ScpiClient(port)
    assert c.ask("*IDN?") == IDN_PREFIX
    c.close()
    assert meter.running()
