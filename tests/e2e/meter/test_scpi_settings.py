"""RS-232 and LAN settings over SCPI: staging, the restarts, the preset, and
what they leave in the port, the settings file, the interfaces file and the
command log of the simulated device."""
import termios

from conftest import ScpiClient, wait_for


def settings(meter):
    return (meter.root / "etc/meterapp/TalvekApplicationSettings.conf").read_text()


def commands_log(meter):
    path = meter.root / "var/log/commands.log"
    return path.read_text() if path.exists() else ""


def port_speed(meter):
    with open(meter.root / "dev/ttyS4", "rb", buffering=0) as tty:
        return termios.tcgetattr(tty.fileno())[4]


def serial_up(meter):
    return wait_for(lambda: "scpiSerialServerThread(): Starting..." in meter.messages())


def test_rs232_staging_and_restart(scpi_meter):
    meter, _, port = scpi_meter
    assert serial_up(meter)
    c = ScpiClient(port)
    c.send("SYST:COMM:RS232:BAUD 19200\n")
    assert c.ask("SYST:ERR?") == '-224,"Illegal parameter value"'
    c.send("SYST:COMM:RS232:BAUD 2400;LENGTH 7;PAR E\n")
    assert c.ask("SYST:ERR?") == '0,"No error"'
    assert c.ask("SYST:COMM:RS232:PAR?") == "n", "staged values wait for RESTart"
    assert port_speed(meter) == termios.B9600
    c.send("SYST:COMM:RS232:REST\n")
    assert c.ask("SYST:ERR?") == '0,"No error"'
    assert c.ask("SYST:COMM:RS232:BAUD?;LENGTH?;STOP?;PAR?") == "2400;7;1;e"
    assert port_speed(meter) == termios.B2400
    text = settings(meter)
    for line in ("serialSpeed 2400", "serialDataBits 7", "serialStopBits 1", "serialParity EVEN"):
        assert line + "\n" in text, text
    # The preset returns to 9600 8N1 and DHCP.
    c.send("SYST:PRES\n")
    assert c.ask("SYST:ERR?") == '0,"No error"'
    assert port_speed(meter) == termios.B9600
    assert "serialParity NONE\n" in settings(meter)
    assert commands_log(meter) == "/etc/init.d/network restart\n"
    c.close()


def test_lan_static_restart_writes_the_stanza_and_one_restart(scpi_meter):
    meter, _, port = scpi_meter
    c = ScpiClient(port)
    c.send('SYST:COMM:LAN:DHCP 0\n')
    c.send('SYST:COMM:LAN:ADDR "192.168.100.2001"\n')
    assert c.ask("SYST:ERR?") == '-224,"Illegal parameter value;The address is longer than 15 characters"'
    c.send('SYST:COMM:LAN:ADDR "10.20.30.40"\n')
    c.send('SYST:COMM:LAN:MASK "255.255.0.0"\n')
    c.send('SYST:COMM:LAN:GAT "10.20.0.1"\n')
    c.send("SYST:COMM:LAN:REST\n")
    assert c.ask("SYST:ERR?") == '0,"No error"'
    assert c.ask("SYST:COMM:LAN:DHCP?") == "0"
    text = (meter.root / "etc/network/interfaces").read_text()
    assert ("iface eth0 inet static\n    address 10.20.30.40\n    netmask 255.255.0.0\n"
            "    gateway 10.20.0.1\n") in text, text
    assert "auto eth0:0\niface eth0:0 inet static\n" in text
    assert commands_log(meter) == "/etc/init.d/network restart\n"
    assert c.ask("SYST:COMM:LAN:MAC?") == "02:00:52:90:50:01"
    c.close()


def test_static_restart_without_an_address_is_refused_and_keeps_dhcp(scpi_meter):
    meter, _, port = scpi_meter
    c = ScpiClient(port)
    c.send("SYST:COMM:LAN:DHCP 0\n")
    c.send("SYST:COMM:LAN:REST\n")
    assert c.ask("SYST:ERR?") == '-224,"Illegal parameter value;No static address to apply"'
    assert c.ask("SYST:COMM:LAN:DHCP?") == "1"
    assert commands_log(meter) == ""
    c.close()


def test_an_interfaces_file_that_cannot_be_written_gives_an_error_and_no_restart(scpi_meter):
    meter, _, port = scpi_meter
    # The new file is written beside the old one first; a folder there makes
    # that fail.
    (meter.root / "etc/network/interfaces.new").mkdir()
    c = ScpiClient(port)
    c.send('SYST:COMM:LAN:DHCP 0;ADDR "10.1.1.1"\n')
    c.send("SYST:COMM:LAN:REST\n")
    assert c.ask("SYST:ERR?") == '-300,"Device specific error;The interfaces file cannot be written"'
    assert c.ask("SYST:ERR?") == '0,"No error"'
    assert commands_log(meter) == ""
    assert "iface eth0 inet dhcp\n" in (meter.root / "etc/network/interfaces").read_text()
    c.close()
    assert meter.running()
