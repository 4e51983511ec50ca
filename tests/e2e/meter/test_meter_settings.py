"""The settings file and the RS-232 command port at start-up of the real meter."""
import os
import termios

from conftest import wait_for

SETTINGS = "etc/meterapp/TalvekApplicationSettings.conf"


def link_command_port(meter):
    """Makes R/dev/ttyS4 a pseudo-terminal; returns (master, slave) descriptors."""
    master, slave = os.openpty()
    (meter.root / "dev").mkdir(exist_ok=True)
    os.symlink(os.ttyname(slave), meter.root / "dev/ttyS4")
    return master, slave


def test_first_start_writes_the_defaults_under_the_root(meter):
    meter.prepare_device()
    master, slave = link_command_port(meter)
    try:
        meter.start()
        meter.wait_started()
        settings = meter.root / SETTINGS
        assert wait_for(settings.exists)
        lines = settings.read_text().splitlines()
        assert lines[0] == "displayForwardPower 1"
        assert "sensorPulseMode 0" in lines
        # The port's lines follow, taken from the open port itself.
        assert [line.split()[0] for line in lines[-4:]] == [
            "serialSpeed", "serialDataBits", "serialStopBits", "serialParity"]
        assert not (meter.root / (SETTINGS + ".new")).exists()
    finally:
        os.close(master)
        os.close(slave)


def test_stored_port_settings_are_applied_and_the_file_kept(meter):
    meter.prepare_device()
    master, slave = link_command_port(meter)
    try:
        settings = meter.root / SETTINGS
        settings.parent.mkdir(parents=True)
        text = ("displayGraph 1\nscale_ch1_fwd_scaleIndex 12\n"
                "serialSpeed 4800\nserialDataBits 8\nserialStopBits 2\nserialParity EVEN\n")
        settings.write_text(text)
        meter.start()
        meter.wait_started()

        def port_settings():
            attrs = termios.tcgetattr(slave)
            return attrs[4], attrs[2]  # input speed, control flags
        # (A pseudo-terminal keeps 8 bits and no parity whatever it is
        # asked; speed and stop bits it does keep.)
        speed, cflag = port_settings()
        assert speed == termios.B4800
        assert cflag & termios.CSTOPB
        # Reading corrects values in memory only: the file is not rewritten.
        assert settings.read_text() == text
    finally:
        os.close(master)
        os.close(slave)
