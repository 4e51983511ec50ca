"""End-to-end tests of scpi-probe: bytes in on standard input, bytes out on
standard output, exactly as a client on a transport would see them."""
import os
import random
import select
import subprocess
import time

import pytest

PROBE = os.environ.get("SCPI_PROBE", "scpi-probe")
TIMEOUT = 10


def run(data: bytes) -> bytes:
    result = subprocess.run([PROBE], input=data, capture_output=True, timeout=TIMEOUT, check=False)
    assert result.returncode == 0, result.stderr
    assert result.stderr == b""
    return result.stdout


@pytest.mark.parametrize(
    "data, reply",
    [
        (b"*IDN?\n", b"TALVEK,PROBE,1,1.0\r\n"),
        (b"*idn?\r\n", b"TALVEK,PROBE,1,1.0\r\n"),
        (b"*IDN?;*OPC?;SYST:VERS?\n", b"TALVEK,PROBE,1,1.0;1;1999.0\r\n"),
        (b"*OPC\n*ESR?\n", b"1\r\n"),
        (b"*TST?;*WAI;*OPC?\n", b"0;1\r\n"),
        (b"*CLS\n", b""),
        (b"*RST;*OPC?\n", b"1\r\n"),
        (b"*ESE 36;*ESE?;*SRE 32;*SRE?\n", b"36;32\r\n"),
        (b"STAT:QUES:ENAB 7;:STAT:QUES:ENAB?;:STAT:QUES?\n", b"7;0\r\n"),
        (b"STATUS:QUESTIONABLE:EVENT?;:STAT:PRES\n", b"0\r\n"),
        (b"SYST:ERR?\n", b'0,"No error"\r\n'),
        (b"SYST:ERR:COUN?\n", b"0\r\n"),
        # end of input executes what is buffered
        (b"*IDN?", b"TALVEK,PROBE,1,1.0\r\n"),
        # only the core commands exist
        (b"MEAS:POW:AVER? 1\nSYST:ERR?\n", b'-113,"Undefined header;MEAS:POW:AVER? 1"\r\n'),
        (b"STAT:OPER?\nSYST:ERR?\n", b'-113,"Undefined header;STAT:OPER?"\r\n'),
        (b"FOO\n*STB?;*ESR?;*ESE 32;*STB?\n", b"4;32;4\r\n"),
        (b"*ESE 32;*SRE 32\nFOO\n*STB?\n", b"100\r\n"),
        (b"*IDN?;FOO;*OPC?\nSYST:ERR?\n", b'TALVEK,PROBE,1,1.0;1\r\n-113,"Undefined header;FOO"\r\n'),
        (b"*ESE 1,\nSYST:ERR?\n", b'-109,"Missing parameter"\r\n'),
        (b"*IDN ?\nSYST:ERR?;:SYST:ERR?\n", b'-101,"Invalid character";0,"No error"\r\n'),
        (b"*IDN? 12\nSYST:ERR?\n", b'TALVEK,PROBE,1,1.0\r\n-108,"Parameter not allowed"\r\n'),
        (b"SYST:VERS?;SYST:VERS?\nSYST:ERR?\n", b'1999.0\r\n-113,"Undefined header;SYST:VERS?"\r\n'),
    ],
)
def test_replies(data, reply):
    assert run(data) == reply


def read_reply(stream) -> bytes:
    """Reads up to and including the next CR LF, waiting at most TIMEOUT."""
    reply = b""
    deadline = time.monotonic() + TIMEOUT
    while not reply.endswith(b"\r\n"):
        ready, _, _ = select.select([stream], [], [], max(0.0, deadline - time.monotonic()))
        assert ready, "no complete reply before end of input; got %r" % reply
        chunk = os.read(stream.fileno(), 100)
        assert chunk, "output closed; got %r" % reply
        reply += chunk
    return reply


def test_each_message_is_answered_as_it_arrives():
    with subprocess.Popen([PROBE], stdin=subprocess.PIPE, stdout=subprocess.PIPE) as probe:
        try:
            for piece in (b"*O", b"PC", b"?", b"\n"):
                probe.stdin.write(piece)
                probe.stdin.flush()
                time.sleep(0.02)
            assert read_reply(probe.stdout) == b"1\r\n"
            probe.stdin.write(b"*IDN?\n")
            probe.stdin.flush()
            assert read_reply(probe.stdout) == b"TALVEK,PROBE,1,1.0\r\n"
            probe.stdin.close()
            assert probe.wait(TIMEOUT) == 0
        finally:
            if probe.poll() is None:
                probe.kill()
                probe.wait()


def test_input_buffer_limit():
    fits = b"*OPC?" + b" " * 249 + b"\n"
    assert len(fits) == 255
    assert run(fits) == b"1\r\n"
    too_long = b"*OPC?" + b" " * 250 + b"\n"
    assert run(too_long + b"SYST:ERR?;:SYST:ERR?\n") == b'-363,"Input buffer overrun";0,"No error"\r\n'
    # 256 characters without a line feed: nothing of them runs, and the
    # rest of that line is dropped with them.
    assert run(b"A" * 256 + b"BBB;*OPC?\n*OPC?\nSYST:ERR:COUN?\n") == b"1\r\n1\r\n"


def test_error_queue_holds_seventeen_entries():
    replies = run(b"".join(b"FOO%d\n" % i for i in range(20)) + b"SYST:ERR:COUN?\n" + b"SYST:ERR?\n" * 18)
    lines = replies.split(b"\r\n")
    assert lines[0] == b"17"
    assert lines[1:17] == [b'-113,"Undefined header;FOO%d"' % i for i in range(16)]
    assert lines[17:19] == [b'-350,"Queue overflow"', b'0,"No error"']


def test_garbage_never_stops_the_probe():
    generator = random.Random(4)
    garbage = bytes(generator.randrange(256) for _ in range(20000))
    out = run(garbage + b"\n*CLS\n*OPC?\n")
    assert out.endswith(b"1\r\n")
