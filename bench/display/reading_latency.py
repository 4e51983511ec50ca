#!/usr/bin/python3
"""The meter with two simulated sensors (one serial paced as a real one, one
USB) for a while: its CPU share of one core, its peak resident memory, and the
time from a reading changed in the simulator to the display pass that shows it
(read from the meter's SensorManager trace, polled every 5 ms). Reports only;
asserts nothing. Run under a display (xvfb-run -a).

usage: reading_latency.py BUILD_DIR [SECONDS]"""
import os
import random
import re
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

TOP = Path(__file__).resolve().parents[2]


def main():
    build = Path(sys.argv[1])
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 60.0
    sim_bin, meter_bin = build / "sim/r9050-sim", build / "meterapp/meterapp"
    with tempfile.TemporaryDirectory(prefix="meter-bench-") as scratch:
        root = Path(scratch) / "root"
        root.mkdir()
        sim_log, out_path = Path(scratch) / "sim.log", Path(scratch) / "out.txt"
        sim = subprocess.Popen([str(sim_bin), "--root", str(root), "--no-stdin", "--serial1", "C604", "--usb1", "P804"],
                               stdout=open(sim_log, "w"), stderr=subprocess.STDOUT, start_new_session=True)
        while "READY" not in sim_log.read_text():
            time.sleep(0.05)
        (root / "tmp").mkdir(exist_ok=True)
        (root / "tmp/debug").touch()
        (root / "tmp/logConfig").write_text("SensorManager\n")
        env = dict(os.environ, METER_ROOT=str(root), METER_SCPI_PORT="0", NO_AT_BRIDGE="1")
        meter = subprocess.Popen([str(meter_bin)], env=env, stdout=open(out_path, "w"), stderr=subprocess.DEVNULL,
                                 start_new_session=True)
        send = lambda *c: subprocess.run([str(sim_bin), "--send", str(root / "sim/control.sock"), *c],
                                         capture_output=True, text=True)
        try:
            # Answer the channel question for the serial sensor (channel 1).
            deadline = time.time() + 20
            while time.time() < deadline and "Serial1 CW fwd" not in out_path.read_text(errors="replace"):
                subprocess.run([str(TOP / "scripts/answer-channel-dialog")], capture_output=True)
                time.sleep(0.3)
            ticks = os.sysconf("SC_CLK_TCK")

            def cpu():
                fields = Path(f"/proc/{meter.pid}/stat").read_text().rsplit(")", 1)[1].split()
                return (int(fields[11]) + int(fields[12])) / ticks

            start_cpu, start = cpu(), time.time()
            latencies = []
            value = 10.0
            while time.time() - start < seconds:
                value += 1.0
                seen = len(out_path.read_text(errors="replace"))
                t0 = time.monotonic()
                send("set", "serial1", "fwd", f"{value:g}")
                pattern = re.compile(rf"Serial1 CW fwd {value:g} W")
                while time.monotonic() - t0 < 5:
                    if pattern.search(out_path.read_text(errors="replace")[seen:]):
                        latencies.append((time.monotonic() - t0) * 1000)
                        break
                    time.sleep(0.005)
                # Off the display pass's rhythm, so that changes land at every phase of it.
                time.sleep(0.5 + random.uniform(0.0, 0.3))
            used = cpu() - start_cpu
            elapsed = time.time() - start
            rss = re.search(r"VmHWM:\s+(\d+) kB", Path(f"/proc/{meter.pid}/status").read_text()).group(1)
            latencies.sort()
            p95 = latencies[max(0, int(len(latencies) * 0.95) - 1)] if latencies else float("nan")
            print(f"run {elapsed:.0f} s: cpu {100 * used / elapsed:.2f} % of one core, peak RSS {int(rss) / 1024:.1f} MB")
            print(f"reading to display: {len(latencies)} changes, median {statistics.median(latencies):.0f} ms, "
                  f"p95 {p95:.0f} ms, max {latencies[-1]:.0f} ms")
        finally:
            for p in (meter, sim):
                os.killpg(p.pid, 9)
                p.wait()


if __name__ == "__main__":
    main()
