// The command rows that need no sensor, driven through one parser context
// over the meter's table, on a scratch device root.
#include <gtest/gtest.h>
#include <termios.h>

#include <filesystem>
#include <string>
#include <vector>

#include "remote_fixture.h"
#include "scpi_record.h"
#include "scpi_remote.h"
#include "text_field.h"

namespace {

using remote_test::RemoteRoot;

class ScpiCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    device = std::make_unique<RemoteRoot>(CS8);
    initScpiParser();
    ASSERT_NE(scpi, nullptr);
    static const scpi_interface_t capture = {nullptr, &ScpiCommandsTest::write, nullptr, nullptr, nullptr};
    ASSERT_TRUE(SCPI_Init(&sut, scpi_commands, &capture, nullptr, kScpiManufacturer, "", "", "", buffer.data(),
                          buffer.size(), queue.data(), static_cast<int16_t>(queue.size())));
    sut.user_context = &output;
  }
  void TearDown() override { device.reset(); }

  static size_t write(scpi_t* context, const char* data, size_t length) {
    static_cast<std::string*>(context->user_context)->append(data, length);
    return length;
  }

  // One program message; returns its reply.
  std::string send(const std::string& message) {
    output.clear();
    SCPI_Input(&sut, message.data(), message.size());
    SCPI_Input(&sut, "\n", 1);
    return output;
  }
  // Every queued error as "code,\"text\"", emptying the queue.
  std::vector<std::string> errors() {
    std::vector<std::string> list;
    for (int i = 0; i < 20; ++i) {
      const std::string reply = send("SYST:ERR?");
      if (reply.rfind("0,", 0) == 0) break;
      list.push_back(reply.substr(0, reply.size() - 2));
    }
    return list;
  }
  termios portConfig() {
    termios config{};
    EXPECT_EQ(SerialPort_GetConfig(&config), 0);
    return config;
  }

  std::unique_ptr<RemoteRoot> device;
  scpi_t sut{};
  std::array<char, 256> buffer{};
  std::array<scpi_error_t, 17> queue{};
  std::string output;
};

TEST_F(ScpiCommandsTest, TableHasEveryRowAndEachPatternCompiles) {
  EXPECT_EQ(scpiCommandCount(), 156U);
  EXPECT_STREQ(scpi_commands[0].pattern, "*CLS");
  EXPECT_STREQ(scpi_commands[4].pattern, "*IDN?");
  EXPECT_STREQ(scpi_commands[155].pattern, "SYSTem:PULSe:CONFig:COMMit");
  // Every row is reachable: its own long form runs its own handler.
  EXPECT_EQ(send("*TST?"), "0\r\n");
  EXPECT_EQ(send("SYST:VERS?"), "1999.0\r\n");
  EXPECT_EQ(send("SYST:COMM:RS232:FLOW?"), "none\r\n");
  EXPECT_TRUE(errors().empty());
}

TEST_F(ScpiCommandsTest, IdentificationCarriesTheProvisionedIdentityAndNoCarriageReturn) {
  EXPECT_EQ(send("*IDN?"), "TALVEK,R9050X,SN4242,2026-03-01 08:15:00  1234-abcd\r\n");
  EXPECT_EQ(send("SYST:IDEN?"), "R9050X\r\n");
  EXPECT_EQ(send("SYSTEM:IDENTITY:R9050:MODEL?"), "R9050X\r\n");
  EXPECT_EQ(send("SYST:IDEN:SN?"), "SN4242\r\n");
  EXPECT_EQ(send("SYST:IDEN:FWR?"), "2026-03-01 08:15:00  1234-abcd\r\n");
}

TEST_F(ScpiCommandsTest, SensorRowsWithoutAnySensorQueueNoSensorAndReplyNothing) {
  for (const char* message : {"MEAS:AVER?", "MEAS:STAT2:MAX? 2", "TRIG:LEV 0.5", "SYST:IDEN:SENS?",
                              "SYST:PULS:CONF:SYNC", "SYST:PULS:CONF:COMM"}) {
    SCOPED_TRACE(message);
    EXPECT_EQ(send(message), "");
    EXPECT_EQ(errors(), std::vector<std::string>{"-220,\"Parameter error;No sensor connected on the channel\""});
  }
}

TEST_F(ScpiCommandsTest, Rs232ValuesOutsideTheTablesAreRefused) {
  const struct {
    const char* message;
    std::vector<std::string> errors;
  } cases[] = {
      {"SYST:COMM:RS232:BAUD 19200", {"-224,\"Illegal parameter value\""}},
      {"SYST:COMM:RS232:BAUD 4800.9", {}},
      {"SYST:COMM:RS232:BAUD", {"-109,\"Missing parameter\""}},
      {"SYST:COMM:RS232:LENGTH 9", {"-224,\"Illegal parameter value\""}},
      {"SYST:COMM:RS232:LENGTH 7", {}},
      {"SYST:COMM:RS232:STOP 3", {"-224,\"Illegal parameter value\""}},
      {"SYST:COMM:RS232:PAR EE", {"-224,\"Illegal parameter value\""}},
      {"SYST:COMM:RS232:PAR X", {"-224,\"Illegal parameter value\""}},
      {"SYST:COMM:RS232:PAR e", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    EXPECT_EQ(send(c.message), "");
    EXPECT_EQ(errors(), c.errors);
  }
  // A refused speed clears a speed staged before.
  send("SYST:COMM:RS232:BAUD 1200");
  send("SYST:COMM:RS232:BAUD 19200");
  EXPECT_EQ(scpi->newTty.speed, 0);
}

TEST_F(ScpiCommandsTest, RestartAppliesTheStagedLineToThePortAndTheSettingsFile) {
  send("SYST:COMM:RS232:BAUD 4800");
  send("SYST:COMM:RS232:LENGTH 7");
  send("SYST:COMM:RS232:STOP 2");
  send("SYST:COMM:RS232:PAR E");
  const termios before = portConfig();
  EXPECT_NE(cfgetispeed(&before), B4800) << "nothing changes before RESTart";
  send("SYST:COMM:RS232:REST");
  EXPECT_TRUE(errors().empty());
  const termios config = portConfig();
  EXPECT_EQ(cfgetispeed(&config), B4800);
  EXPECT_EQ(cfgetospeed(&config), B4800);
  EXPECT_EQ(config.c_cflag & (CSIZE | CSTOPB | PARENB | PARODD), CS7 | CSTOPB | PARENB);
  const std::string settings = device->settings();
  for (const char* line : {"serialSpeed 4800\n", "serialDataBits 7\n", "serialStopBits 2\n", "serialParity EVEN\n"}) {
    EXPECT_NE(settings.find(line), std::string::npos) << line << " in\n" << settings;
  }
  EXPECT_EQ(send("SYST:COMM:RS232:BAUD?;LENGTH?;STOP?;PAR?"), "4800;7;2;e\r\n");
  EXPECT_EQ(scpi->newTty.speed, 0) << "the staged values are used up";
}

TEST_F(ScpiCommandsTest, RestartWithoutAPortReportsAnErrorAndKeepsTheStagedValues) {
  send("SYST:COMM:RS232:PAR O");
  SerialPort_Close();
  send("SYST:COMM:RS232:REST");
  EXPECT_EQ(errors(), std::vector<std::string>{"-300,\"Device specific error;The RS-232 port settings cannot be read\""});
  EXPECT_EQ(scpi->newTty.parity, 3);
  ASSERT_GE(SerialPort_Open(Platform_path(DevicePath::kCommandPort).c_str()), 0);
  send("SYST:COMM:RS232:REST");
  EXPECT_TRUE(errors().empty());
  EXPECT_EQ(portConfig().c_cflag & (PARENB | PARODD), static_cast<tcflag_t>(PARENB | PARODD));
}

TEST_F(ScpiCommandsTest, LanTextsAreValidatedNeverCutAndNeverTakenForQueries) {
  const struct {
    const char* message;
    const char* staged;  // newLan.address afterwards
    bool refused;
  } cases[] = {
      {"SYST:COMM:LAN:ADDR \"10.0.0.5\"", "10.0.0.5", false},
      {"SYST:COMM:LAN:ADDR \"10.0.0.256\"", "", true},
      // Cut to 15 characters this would be the valid 192.168.100.200.
      {"SYST:COMM:LAN:ADDR \"192.168.100.2001\"", "", true},
      // A '?' inside the value does not make the command a query.
      {"SYST:COMM:LAN:ADDR \"10.0.0.?\"", "", true},
      {"SYST:COMM:LAN:ADDR", "", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    EXPECT_EQ(send(c.message), "") << "a set command never replies";
    EXPECT_EQ(TextField_view(scpi->newLan.address), c.staged);
    EXPECT_EQ(errors().size(), c.refused ? 1U : 0U);
  }
  send("SYST:COMM:LAN:MASK \"255.0.255.0\"");
  EXPECT_EQ(errors(), std::vector<std::string>{"-224,\"Illegal parameter value\""});
  send("SYST:COMM:LAN:MASK \"255.255.0.0\"");
  EXPECT_EQ(TextField_view(scpi->newLan.netmask), "255.255.0.0");
  EXPECT_EQ(send("SYST:COMM:LAN:MAC?"), "\r\n") << "no eth0 in this root";
}

TEST_F(ScpiCommandsTest, LanRestartWritesTheStaticStanzaAndRestartsOnce) {
  send("SYST:COMM:LAN:DHCP 0");
  send("SYST:COMM:LAN:ADDR \"10.1.2.3\"");
  send("SYST:COMM:LAN:MASK \"255.255.0.0\"");
  send("SYST:COMM:LAN:GAT \"10.1.0.1\"");
  send("SYST:COMM:LAN:REST");
  EXPECT_TRUE(errors().empty());
  const std::string file = device->interfaces();
  EXPECT_NE(file.find("iface eth0 inet static\n    address 10.1.2.3\n    netmask 255.255.0.0\n    gateway 10.1.0.1\n"),
            std::string::npos)
      << file;
  EXPECT_NE(file.find("auto eth0:0\niface eth0:0 inet static"), std::string::npos) << "the alias stays";
  EXPECT_EQ(device->commandsLog(), "/etc/init.d/network restart\n");
  EXPECT_EQ(send("SYST:COMM:LAN:DHCP?"), "0\r\n");
  EXPECT_EQ(TextField_view(scpi->newLan.address), "");
  EXPECT_EQ(scpi->newLan.method, INET_METHOD_STATIC) << "the staged method survives an applied restart";
}

TEST_F(ScpiCommandsTest, StaticRestartWithoutAnyAddressIsRefusedAndKeepsDhcp) {
  send("SYST:COMM:LAN:DHCP 0");
  send("SYST:COMM:LAN:REST");
  EXPECT_EQ(errors(), std::vector<std::string>{"-224,\"Illegal parameter value;No static address to apply\""});
  EXPECT_EQ(send("SYST:COMM:LAN:DHCP?"), "1\r\n");
  EXPECT_EQ(scpi->newLan.method, INET_METHOD_DHCP);
  EXPECT_EQ(device->commandsLog(), "");
  for (const char* bad : {"SYST:COMM:LAN:DHCP 2", "SYST:COMM:LAN:DHCP 0.5"}) {
    send(bad);
    EXPECT_EQ(errors(), std::vector<std::string>{"-224,\"Illegal parameter value\""}) << bad;
  }
}

TEST_F(ScpiCommandsTest, AnInterfacesFileThatCannotBeWrittenGivesAnErrorAndNoRestart) {
  // The replacement is written beside the file first; a folder in its place
  // makes that write fail.
  std::filesystem::create_directories(device->root / "/etc/network/interfaces.new");
  send("SYST:COMM:LAN:DHCP 0");
  send("SYST:COMM:LAN:ADDR \"10.1.2.3\"");
  send("SYST:COMM:LAN:REST");
  EXPECT_EQ(errors(), std::vector<std::string>{"-300,\"Device specific error;The interfaces file cannot be written\""});
  EXPECT_EQ(device->commandsLog(), "");
  EXPECT_EQ(TextField_view(scpi->newLan.address), "10.1.2.3") << "the staged address is kept for a retry";
  send("SYST:PRES");
  EXPECT_EQ(errors(), std::vector<std::string>{"-300,\"Device specific error;The interfaces file cannot be written\""});
  EXPECT_EQ(device->commandsLog(), "");
}

TEST_F(ScpiCommandsTest, PresetGivesNineSixHundredEightNoneOneAndDhcp) {
  send("SYST:COMM:RS232:BAUD 300;LENGTH 7;PAR O;STOP 2;REST");
  send("SYST:COMM:LAN:DHCP 0");
  send("SYST:COMM:LAN:ADDR \"10.1.2.3\"");
  send("SYST:COMM:LAN:REST");
  ASSERT_TRUE(errors().empty());
  send("SYST:COMM:RS232:BAUD 1200");
  send("SYST:PRES");
  EXPECT_TRUE(errors().empty());
  const termios config = portConfig();
  EXPECT_EQ(cfgetispeed(&config), B9600);
  EXPECT_EQ(config.c_cflag & (CSIZE | CSTOPB | PARENB | PARODD), static_cast<tcflag_t>(CS8));
  EXPECT_EQ(scpi->newTty.speed, 0);
  EXPECT_EQ(scpi->newLan.method, INET_METHOD_DHCP);
  EXPECT_NE(device->interfaces().find("iface eth0 inet dhcp\n"), std::string::npos);
  EXPECT_NE(device->settings().find("serialSpeed 9600\n"), std::string::npos);
  EXPECT_EQ(device->commandsLog(), "/etc/init.d/network restart\n/etc/init.d/network restart\n");
}

TEST_F(ScpiCommandsTest, PulseModeSwitch) {
  const struct {
    const char* value;
    int mode;  // -1: refused, mode unchanged
    const char* error;
  } cases[] = {
      {"ON", 1, nullptr}, {"off", 0, nullptr}, {"1", 1, nullptr},  {"0", 0, nullptr},
      {"2.6", 1, nullptr}, {"0.2", 0, nullptr}, {"-1", -1, "-220,\"Parameter error;The state is not valid\""},
      {"MAYBE", -1, "-220,\"Parameter error\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    const std::string before = send("SYST:PULS?");
    send(std::string("SYST:PULS ") + c.value);
    const std::vector<std::string> expected = c.error ? std::vector<std::string>{c.error} : std::vector<std::string>{};
    EXPECT_EQ(errors(), expected);
    EXPECT_EQ(send("SYST:PULS?"), c.mode < 0 ? before : std::to_string(c.mode) + "\r\n");
  }
}

TEST_F(ScpiCommandsTest, CustomErrorsCarryTheirTexts) {
  pushCustomScpiError(&sut, 104);
  pushCustomScpiError(&sut, 110);
  pushCustomScpiErrorWithMsg(&sut, 106, "Gate end before gate begin");
  pushCustomScpiError(&sut, -222);
  EXPECT_EQ(errors(), (std::vector<std::string>{
                          "-100,\"Command error;The command is not valid in CW mode.\"",
                          "-100,\"Command error;The command is not supported for C60x CW sensors.\"",
                          "-220,\"Parameter error;Gate end before gate begin\"",
                          "-222,\"Data out of range\"",
                      }));
}

}  // namespace
