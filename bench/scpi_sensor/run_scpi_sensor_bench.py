#!/usr/bin/python3
"""Reading freshness and MEAS:AVER? rate of the meter's SCPI server, on the
simulator, on loopback. Reports figures; asserts nothing.

  xvfb-run -a -s "-screen 0 1024x768x24" bench/scpi_sensor/run_scpi_sensor_bench.py [BUILD_DIR] [CHANGES] [SECONDS]

Freshness: the simulated P804's forward power is changed CHANGES times (at
random moments of the display pass), each time the client asks MEAS:AVER?
back to back until it answers the new value; the time from the simulator's
acknowledgement to that answer is one sample (median, p95, max).

Rate: one client's MEAS:AVER? request-response rate for SECONDS against the
meter, then the same client against a bare line-echo server with the same
socket options in the same run (the floor), and the ratio.

Needs the targets meterapp, r9050-sim, scpi_echo_server and scpi_rr_client
in BUILD_DIR (default "build"), a display, and xdotool (the channel
question is answered as a user would).
"""
import os
import random
import re
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

TOP = Path(__file__).resolve().parents[2]


def wait_for(predicate, timeout=30.0, step=0.05):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        value = predicate()
        if value:
            return value
        time.sleep(step)
    return None


class Control:
    """The simulator's control socket: one line in, one line out."""

    def __init__(self, path):
        self.path = path

    def send(self, line):
        with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as s:
            s.connect(str(self.path))
            s.sendall(line.encode() + b"\n")
            answer = b""
            while not answer.endswith(b"\n"):
                chunk = s.recv(4096)
                if not chunk:
                    break
                answer += chunk
        return answer.decode().strip()


class Client:
    def __init__(self, port):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=5)
        self.sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self.buffer = b""

    def ask(self, message):
        self.sock.sendall(message.encode() + b"\n")
        while b"\r\n" not in self.buffer:
            self.buffer += self.sock.recv(4096)
        line, self.buffer = self.buffer.split(b"\r\n", 1)
        return line.decode()


def percentile(values, fraction):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(round(fraction * (len(ordered) - 1))))]


def rr(build, port, seconds):
    out = subprocess.run([str(build / "bench/scpi_server/scpi_rr_client"), str(port), str(seconds), "MEAS:AVER?"],
                         capture_output=True, text=True, timeout=seconds + 30)
    return out.stdout.strip()


def rate_of(line):
    found = re.search(r"([0-9.]+)/s", line)
    return float(found.group(1)) if found else float("nan")


def main():
    build = Path(sys.argv[1] if len(sys.argv) > 1 else "build").resolve()
    changes = int(sys.argv[2]) if len(sys.argv) > 2 else 60
    seconds = float(sys.argv[3]) if len(sys.argv) > 3 else 10
    if not os.environ.get("DISPLAY"):
        sys.exit("needs a display: run under xvfb-run -a")
    procs = []
    with tempfile.TemporaryDirectory(prefix="scpi-sensor-bench-") as work:
        root = Path(work) / "root"
        root.mkdir()
        try:
            sim_log = open(Path(work) / "sim.log", "w")
            procs.append(subprocess.Popen([str(build / "sim/r9050-sim"), "--root", str(root), "--no-stdin", "--unpaced"],
                                          stdout=sim_log, stderr=subprocess.STDOUT, start_new_session=True))
            assert wait_for(lambda: "READY" in (Path(work) / "sim.log").read_text()), "the simulator did not start"
            env = dict(os.environ, METER_ROOT=str(root), METER_SCPI_PORT="0", NO_AT_BRIDGE="1")
            env.pop("GTK_MODULES", None)
            procs.append(subprocess.Popen([str(build / "meterapp/meterapp")], env=env, stdout=subprocess.DEVNULL,
                                          stderr=subprocess.DEVNULL, start_new_session=True))
            messages = root / "var/log/messages"
            found = wait_for(lambda: messages.exists() and
                             re.search(r"SCPI server listening on port (\d+)", messages.read_text(errors="replace")))
            assert found, "the meter did not start its SCPI server"
            port = int(found.group(1))
            control = Control(root / "sim/control.sock")
            assert control.send("plug usb1 P804") == "OK"
            answer = TOP / "scripts/answer-channel-dialog"
            assert wait_for(lambda: "ChannelDialog: asking" in messages.read_text(errors="replace")), \
                "no channel question"
            assert wait_for(lambda: subprocess.run([str(answer)]).returncode == 0), "no channel dialog"
            client = Client(port)
            # "1" alone while the channel has no sensor yet, "9.91E+37;1" while it identifies.
            def measuring():
                parts = client.ask("*CLS;MEAS:AVER?;*OPC?").split(";")
                return len(parts) == 2 and parts[0] != "9.91E+37"
            assert wait_for(measuring), "the sensor never measured"

            samples = []
            for i in range(changes):
                time.sleep(random.uniform(0.0, 0.35))  # any moment of the display pass
                value = f"{1.0 + i * 0.25:g}"
                assert control.send(f"set usb1 fwd {value}") == "OK"
                changed = time.monotonic()
                while client.ask("MEAS:AVER?") != value:
                    if time.monotonic() - changed > 10:
                        sys.exit(f"{value} was never answered")
                samples.append((time.monotonic() - changed) * 1000)
            print(f"reading freshness, simulator change -> MEAS:AVER? answer, {changes} changes:")
            print(f"  median {statistics.median(samples):.0f} ms, p95 {percentile(samples, 0.95):.0f} ms, "
                  f"max {max(samples):.0f} ms (display pass 300 ms)")
            client.sock.close()

            meter_line = rr(build, port, seconds)
            echo_log = Path(work) / "echo.log"
            procs.append(subprocess.Popen([str(build / "bench/scpi_server/scpi_echo_server"), "0"],
                                          stdout=open(echo_log, "w"), stderr=subprocess.STDOUT,
                                          start_new_session=True))
            found = wait_for(lambda: re.search(r"listening on port (\d+)", echo_log.read_text()))
            assert found, "the echo server did not start"
            echo_line = rr(build, int(found.group(1)), seconds)
            print(f"MEAS:AVER? request-response for {seconds:g} s, one client:")
            print(f"  meter     : {meter_line}")
            print(f"  line echo : {echo_line}")
            print(f"  ratio meter/echo: {rate_of(meter_line) / rate_of(echo_line):.3f}")
        finally:
            for p in reversed(procs):
                try:
                    os.killpg(p.pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
                p.wait(timeout=10)


if __name__ == "__main__":
    main()
