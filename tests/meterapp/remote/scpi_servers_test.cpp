// The two SCPI servers run in-process on a scratch device root: TCP on a
// loopback port the system picks, the RS-232 port on a pseudo-terminal.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "loopback_client.h"
#include "remote_fixture.h"
#include "scpi_record.h"
#include "scpi_remote.h"

namespace {

using namespace std::chrono_literals;
using remote_test::RemoteRoot;

// The servers listen on a port of the system's choice.
const bool kPortChosenBySystem = ::setenv("METER_SCPI_PORT", "0", 1) == 0;

// A client that reads whole replies: CR LF ended lines.
class Client : public test_support::LoopbackClient {
 public:
  using LoopbackClient::LoopbackClient;

  // Reads until `lines` CR LF ended replies arrived or the time is up.
  std::string receive(int lines = 1, std::chrono::milliseconds timeout = 3000ms) const {
    std::string text;
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (countLines(text) < lines &&
           receiveSome(text, std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()))) {
    }
    return text;
  }

 private:
  static int countLines(const std::string& text) {
    int n = 0;
    for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2)) ++n;
    return n;
  }
};

class ScpiServersTest : public ::testing::Test {
 protected:
  void start(tcflag_t lineBits = CS8, bool linkPort = true, bool legacy = false) {
    ASSERT_TRUE(kPortChosenBySystem);
    device = std::make_unique<RemoteRoot>(lineBits, linkPort);
    configuration_setUseLegacy(legacy);
    startScpiParser();
    port = scpiTcpServer_port();
    ASSERT_NE(port, 0);
  }
  void TearDown() override {
    destroyScpiParser();
    device.reset();
  }
  // Asks the next client for one reply.
  std::string ask(const std::string& message) {
    Client client(port);
    EXPECT_TRUE(client.connected());
    client.send(message + "\n");
    return client.receive();
  }
  // The serial server has reopened the port and set line-by-line input.
  bool serialSettled() {
    for (int i = 0; i < 100; ++i) {
      termios config{};
      if (device->root.messages().find("scpiSerialServerThread(): Starting...") != std::string::npos &&
          SerialPort_GetConfig(&config) == 0 && (config.c_lflag & ICANON) != 0) {
        std::this_thread::sleep_for(100ms);  // and saved the settings file
        return true;
      }
      std::this_thread::sleep_for(50ms);
    }
    return false;
  }

  std::unique_ptr<RemoteRoot> device;
  std::uint16_t port = 0;
};

TEST_F(ScpiServersTest, ThePortIsLoggedAndAClientIsAnswered) {
  start();
  EXPECT_NE(device->root.messages().find("SCPI server listening on port " + std::to_string(port)), std::string::npos);
  EXPECT_EQ(ask("*IDN?"), "TALVEK,R9050X,SN4242,2026-03-01 08:15:00  1234-abcd\r\n");
}

TEST_F(ScpiServersTest, AMessageWithoutLineEndRunsAfterFiveSecondsOfSilence) {
  start();
  Client client(port);
  client.send("*OPC?");
  EXPECT_EQ(client.receive(1, 2000ms), "") << "not before the silence";
  EXPECT_EQ(client.receive(1, 6000ms), "1\r\n");
}

TEST_F(ScpiServersTest, ASecondClientWaitsUntilTheFirstLeaves) {
  start();
  auto first = std::make_unique<Client>(port);
  first->send("*OPC?\n");
  EXPECT_EQ(first->receive(), "1\r\n");
  Client second(port);
  ASSERT_TRUE(second.connected()) << "the backlog holds one";
  second.send("*IDN?\n");
  EXPECT_EQ(second.receive(1, 1000ms), "");
  first.reset();
  EXPECT_EQ(second.receive().substr(0, 7), "TALVEK,");
}

TEST_F(ScpiServersTest, ErrorsPassToTheNextClientButItsPartialInputDoesNot) {
  start();
  {
    Client client(port);
    client.send("BAD\n*IDN");  // an error, then half a command
    std::this_thread::sleep_for(200ms);
  }
  Client next(port);
  next.send("SYST:ERR?\n");
  EXPECT_EQ(next.receive(), "-113,\"Undefined header;BAD\"\r\n");
  next.send("SYST:ERR?\n");
  EXPECT_EQ(next.receive(), "0,\"No error\"\r\n");
}

TEST_F(ScpiServersTest, AnOverrunLeftByOneClientDoesNotSwallowTheNextOnesCommand) {
  start();
  {
    Client client(port);
    client.send(std::string(600, 'A'));  // overrun; the rest of the line would be skipped
    std::this_thread::sleep_for(200ms);
  }
  EXPECT_EQ(ask("*OPC?"), "1\r\n");
}

TEST_F(ScpiServersTest, AnOverlongLineGivesOverrunAndTheNextMessageWorks) {
  start();
  Client client(port);
  client.send(std::string(300, 'X') + "\n*OPC?\n");
  EXPECT_EQ(client.receive(), "1\r\n");
  client.send("SYST:ERR?\n");
  EXPECT_EQ(client.receive(), "-363,\"Input buffer overrun\"\r\n");
}

TEST_F(ScpiServersTest, ABurstLargerThanTheBufferIsAllAnswered) {
  start();
  Client client(port);
  std::string burst;
  for (int i = 0; i < 200; ++i) burst += "*OPC?\n";  // 1200 bytes
  client.send(burst);
  std::string expected;
  for (int i = 0; i < 200; ++i) expected += "1\r\n";
  EXPECT_EQ(client.receive(200, 5000ms), expected);
}

TEST_F(ScpiServersTest, AClientThatLeavesBeforeItsRepliesLeavesTheServerRunning) {
  start();
  for (int round = 0; round < 5; ++round) {
    Client client(port);
    std::string burst;
    for (int i = 0; i < 2000; ++i) burst += "*IDN?\n";
    client.send(burst);
    client.abort();
  }
  // A SIGPIPE would have ended this test program.
  EXPECT_EQ(ask("*OPC?"), "1\r\n");
}

TEST_F(ScpiServersTest, StoppingWithAClientConnectedJoinsBothServers) {
  start();
  Client client(port);
  client.send("*OPC?\n");
  EXPECT_EQ(client.receive(), "1\r\n");
  const auto begin = std::chrono::steady_clock::now();
  destroyScpiParser();
  EXPECT_LT(std::chrono::steady_clock::now() - begin, 2s);
  EXPECT_EQ(scpiTcpServer_port(), 0);
}

TEST_F(ScpiServersTest, SerialServerKeepsTheStoredLineSettings) {
  start(CS7 | PARENB | CSTOPB);
  ASSERT_TRUE(serialSettled());
  termios config{};
  ASSERT_EQ(SerialPort_GetConfig(&config), 0);
  EXPECT_EQ(config.c_cflag & (CSIZE | CSTOPB | PARENB | PARODD), static_cast<tcflag_t>(CS7 | CSTOPB | PARENB));
  EXPECT_NE(config.c_lflag & ICANON, 0U) << "line by line";
  const std::string settings = device->settings();
  EXPECT_NE(settings.find("serialDataBits 7\n"), std::string::npos) << settings;
  EXPECT_NE(settings.find("serialParity EVEN\n"), std::string::npos) << settings;
  EXPECT_NE(settings.find("serialStopBits 2\n"), std::string::npos) << settings;
}

TEST_F(ScpiServersTest, SerialServerAnswersLinesAndACarriageReturnAloneEndsNothing) {
  start();
  ASSERT_TRUE(serialSettled());
  device->pty.writeMaster("*IDN?\n");
  EXPECT_EQ(device->pty.readMaster(55).substr(0, 7), "TALVEK,");
  device->pty.writeMaster("*OPC?\r");
  EXPECT_EQ(device->pty.readMaster(3, 800), "");
  device->pty.writeMaster("\n");
  EXPECT_EQ(device->pty.readMaster(3), "1\r\n");
}

TEST_F(ScpiServersTest, WithoutTheRs232PortTheMeterWarnsAndServesTcp) {
  start(CS8, false);
  for (int i = 0; i < 50 && device->root.messages().find("createSerialServer() failed") == std::string::npos; ++i) {
    std::this_thread::sleep_for(50ms);
  }
  const std::string messages = device->root.messages();
  EXPECT_NE(messages.find("USER_WARNING:  Serial command interface is not enabled."), std::string::npos) << messages;
  EXPECT_EQ(ask("*OPC?"), "1\r\n");
}

TEST_F(ScpiServersTest, LegacyModeLeavesTheRs232PortAlone) {
  start(CS8, true, true);
  EXPECT_EQ(ask("*OPC?"), "1\r\n");
  device->pty.writeMaster("*OPC?\n");
  EXPECT_EQ(device->pty.readMaster(3, 800), "");
  EXPECT_EQ(device->root.messages().find("scpiSerialServerThread"), std::string::npos);
}

}  // namespace
