"""Abuse of the TCP server, bounded and on loopback only: many short
connections, random bytes, very long lines and a client that stalls mid-line.
After each the meter answers the next client, and its memory and descriptor
count stay flat. The figures are printed (run with -s to see them)."""
import os
import random
import socket
import time

from conftest import ScpiClient, wait_for

IDN_START = "TALVEK,"


def rss_kib(pid):
    for line in open(f"/proc/{pid}/status"):
        if line.startswith("VmRSS:"):
            return int(line.split()[1])
    return 0


def fd_count(pid):
    return len(os.listdir(f"/proc/{pid}/fd"))


def quiet_fd_count(pid):
    """The fewest descriptors seen over half a second: the count without the
    meter's passing file opens."""
    counts = []
    for _ in range(10):
        counts.append(fd_count(pid))
        time.sleep(0.05)
    return min(counts)


def settled_fd_count(pid, baseline):
    """The descriptor count once it is back at the baseline, or after 5 s.
    The meter opens files of its own now and then (the battery gauge, the
    device list): a count taken at one instant may hold one of them, while a
    leaked descriptor stays."""
    wait_for(lambda: fd_count(pid) <= baseline, timeout=5.0)
    return fd_count(pid)


def still_answers(port):
    c = ScpiClient(port)
    try:
        return c.ask("*IDN?").startswith(IDN_START)
    finally:
        c.finish()


def test_abuse_leaves_the_meter_answering_with_flat_resources(scpi_meter):
    meter, _, port = scpi_meter
    pid = meter.proc.pid
    assert still_answers(port)
    time.sleep(1.0)  # let the start-up settle before the baseline
    base_rss = rss_kib(pid)
    base_fds = quiet_fd_count(pid)
    figures = []

    def record(name):
        assert meter.running(), f"the meter ended during {name}"
        assert still_answers(port), f"no answer after {name}"
        figures.append((name, rss_kib(pid), settled_fd_count(pid, base_fds)))

    start = time.monotonic()
    for _ in range(10_000):
        # Half-close and wait for the meter to close its end, so that each
        # cycle is served before the next (the listen backlog holds one).
        s = socket.create_connection(("127.0.0.1", port), timeout=5)
        s.shutdown(socket.SHUT_WR)
        assert s.recv(16) == b""
        s.close()
    record(f"10000 connect/disconnect ({time.monotonic() - start:.1f} s)")

    rng = random.Random(9050)
    c = ScpiClient(port)
    noise = bytes(rng.getrandbits(8) for _ in range(1 << 20))
    for at in range(0, len(noise), 65536):
        c.send(noise[at:at + 65536])
    c.finish()
    record("1 MB of random bytes")

    c = ScpiClient(port)
    for _ in range(5):
        c.send(b"SYST:COMM:LAN:ADDR " + b"9" * 100_000 + b"\n")
    c.send(b"*OPC?\n")
    assert c.readline(timeout=10) == "1"
    c.finish()
    record("5 lines of 100 KB")

    stalled = ScpiClient(port)
    stalled.send(b"SYST:IDEN")  # and then nothing
    time.sleep(6)  # past the 5 s silence: the half line is run and fails
    stalled.finish()
    record("a client stalled mid-line")

    print()
    print(f"baseline: RSS {base_rss} KiB, {base_fds} descriptors")
    for name, rss, fds in figures:
        print(f"after {name}: RSS {rss} KiB ({rss - base_rss:+d}), {fds} descriptors ({fds - base_fds:+d})")
    final_rss, final_fds = figures[-1][1], figures[-1][2]
    assert final_fds == base_fds
    assert final_rss - base_rss < 4096, "memory grew by more than 4 MiB"
