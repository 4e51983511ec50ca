"""Start-up, signals and power-off of the real meter binary."""
import os
import signal
import time

from conftest import wait_for


def test_version_prints_only_the_version_and_leaves_the_root_alone(meter):
    result = meter.run("-v")
    assert result.returncode == 0
    assert result.stdout.startswith("meterapp v3.0.1 built ")
    assert result.stdout.count("\n") == 1
    assert list(meter.root.iterdir()) == []


def test_question_mark_prints_the_usage(meter):
    result = meter.run("-?")
    assert result.returncode == 0
    assert result.stdout == "meterapp application\nUsage: \n-v\tPrint version\n-?\tPrint this message\n"
    assert list(meter.root.iterdir()) == []


def test_start_marks_the_device_and_survives_sigterm_and_sigusr1(meter):
    meter.prepare_device()
    meter.start()
    meter.wait_started()
    assert (meter.root / "var/run/Talvek_autorun").exists()
    assert (meter.root / "tmp/crashlog.txt").exists()
    pin = meter.root / "sys/class/leds/talvekR905a:KeepOn/brightness"
    assert pin.read_text() == "1\n"

    os.kill(meter.proc.pid, signal.SIGTERM)
    os.kill(meter.proc.pid, signal.SIGINT)
    time.sleep(1.0)
    assert meter.running(), "SIGTERM or SIGINT stopped the meter"

    crashlog = meter.root / "tmp/crashlog.txt"
    os.kill(meter.proc.pid, signal.SIGUSR1)
    separator = "=" * 60
    assert wait_for(lambda: crashlog.read_text().count(separator) >= 2)
    lines = crashlog.read_text().splitlines()
    first, last = lines.index(separator), len(lines) - 1 - lines[::-1].index(separator)
    assert last - first > 1, "no back trace between the separators"
    assert "meterapp" in "\n".join(lines[first + 1:last])
    time.sleep(0.5)
    assert meter.running(), "SIGUSR1 stopped the meter"


def test_debug_files_switch_on_the_alive_messages(meter):
    meter.prepare_device(debug_categories=["  ThreadMonitor  "])
    meter.start()
    meter.wait_started()
    for thread in ("focusThread", "batteryThread", "softPowerSwitchPollingThread"):
        assert wait_for(lambda: f"{thread}: Thread is alive at " in meter.stdout(), timeout=15), thread
    # The other threads report as diagnostics in the system log.
    assert wait_for(lambda: "hwPollingThread: Thread is alive at " in meter.messages())
    # Removing the switch file turns the trace off again.
    (meter.root / "tmp/logConfig").unlink()
    time.sleep(1.5)
    size = len(meter.stdout())
    time.sleep(2.0)
    assert len(meter.stdout()) == size


def test_power_key_runs_the_shutdown_sequence(meter):
    meter.prepare_device()
    meter.start()
    meter.wait_started()
    # Writing to the pipe presses the key; the pipe opens for writing once
    # the meter holds its read end.
    def open_key():
        try:
            return os.open(meter.root / "dev/input/event0", os.O_WRONLY | os.O_NONBLOCK)
        except OSError:
            return None
    fd = wait_for(open_key)
    assert fd is not None, "the meter never opened the power key"
    os.write(fd, b"\x01")
    os.close(fd)
    assert meter.proc.wait(timeout=20) == 0
    messages = meter.messages()
    order = ["softPowerSwitchPollingThread: quit = 1",
             "hwPollingThread: shutdown signal detected...",
             "shutDownPower Attempting to issue ARM SHIP MODE",
             "shutDownPower Turning off the power by writing a zero to the KeepOn GPIO pin"]
    positions = [messages.find(text) for text in order]
    assert all(p >= 0 for p in positions), messages
    assert positions == sorted(positions)
    assert (meter.root / "var/log/commands.log").read_text() == "shutdown\n"


def test_fatal_signal_leaves_a_back_trace_and_ends_with_minus_one(meter):
    meter.prepare_device()
    meter.start()
    meter.wait_started()
    os.kill(meter.proc.pid, signal.SIGSEGV)
    assert meter.proc.wait(timeout=20) == 255
    text = (meter.root / "tmp/crashlog.txt").read_text()
    assert text.count("=" * 60 + "\n") == 2
    # No power-off: a crash is not a shutdown.
    assert not (meter.root / "var/log/commands.log").exists()
