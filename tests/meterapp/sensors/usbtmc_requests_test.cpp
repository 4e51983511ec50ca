#include "usbtmc_requests.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "pty.h"
#include "scripted_peer.h"

namespace {

using Strings = std::vector<std::string>;

std::string text(const std::array<char, 64>& field) { return field.data(); }

TEST(UsbTmcDescriptorZero, EveryRequestRefusesWithoutTouchingTheDescriptor) {
  // Put a terminal on descriptor 0 with one byte waiting: a request that
  // wrongly used the descriptor would write to the peer or eat the byte, and
  // a clear would "succeed" on the terminal.
  Pty pty;
  const int savedStdin = ::dup(STDIN_FILENO);
  ASSERT_GE(savedStdin, 0);
  const int slave = ::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(slave, 0);
  ASSERT_EQ(::dup2(slave, STDIN_FILENO), STDIN_FILENO);
  ::close(slave);
  ASSERT_EQ(::write(pty.master(), "x", 1), 1);

  std::array<char, USBTMC_RX_BUFFER_SIZE> buffer{};
  std::array<char, USBTMC_PNP_BLOCK_SIZE> block{};
  std::array<char, 256> file{};
  CMD_TYPE parameter;
  parameter.ival = 1;
  QRY_TYPE result;
  for (const int fd : {0, -1}) {
    SCOPED_TRACE(fd);
    EXPECT_EQ(UsbTmcPort_Send(fd, "*RST\n"), -1);
    EXPECT_EQ(UsbTmcPort_Receive(fd, buffer.data(), buffer.size()), -1);
    EXPECT_EQ(handleUsbTmcClear(fd), -1);
    EXPECT_EQ(handleQuery(fd, buffer, Q_COMMON_STB, result), -1);
    EXPECT_EQ(handleCmd(fd, buffer, C_SENSE_FREQ_AUTO, parameter), -1);
    EXPECT_EQ(handleCmd(fd, buffer, C_COMMON_RST, parameter), -1);
    EXPECT_EQ(handleCmdWithStatus(fd, buffer, C_COMMON_CLS, parameter), usbtmc_transportError);
    EXPECT_EQ(handleQueryWithStatus(fd, buffer, Q_COMMON_STB, result), usbtmc_transportError);
    EXPECT_EQ(clearSysErrCount(fd, buffer), -1);
    EXPECT_EQ(waitOperationComplete(fd, buffer, 3), -1);
    EXPECT_EQ(handleInitCmd(fd, buffer), -1);
    EXPECT_EQ(handleReadStatusByteQuery(fd, buffer), -1);
    EXPECT_EQ(handleQuestionableEventQuery(fd, buffer), -1);
    EXPECT_EQ(getPnPBlock(fd, block), -1);
    EXPECT_EQ(openPnPFile(fd, buffer, file), -1);
  }
  EXPECT_EQ(parameter.ival, 1) << "a refused command leaves its parameter alone";

  pollfd p{pty.master(), POLLIN, 0};
  EXPECT_EQ(::poll(&p, 1, 50), 0) << "nothing may have been written";
  char waiting = 0;
  EXPECT_EQ(::read(STDIN_FILENO, &waiting, 1), 1);
  EXPECT_EQ(waiting, 'x') << "nothing may have been read";
  ::dup2(savedStdin, STDIN_FILENO);
  ::close(savedStdin);
}

TEST(UsbTmcClear, TerminalHasNoClearRequestsAndSucceeds) {
  ScriptedPeer peer({});
  EXPECT_EQ(handleUsbTmcClear(peer.fd()), 0);
  EXPECT_TRUE(peer.received().empty());
  // Something that is neither a terminal nor a usbtmc node rejects the clears.
  const int null = ::open("/dev/null", O_RDWR);
  ASSERT_GT(null, 0);
  EXPECT_EQ(handleUsbTmcClear(null), -1);
  ::close(null);
}

TEST(UsbTmcReceive, TerminatesWithinTheBufferAndReportsNothingAsZero) {
  ScriptedPeer peer({{"*IDN?", std::string(100, 'A')}});
  ASSERT_EQ(UsbTmcPort_Send(peer.fd(), "*IDN?\n"), 6);
  std::array<char, 16> small{};
  small.fill('#');
  ASSERT_EQ(UsbTmcPort_Receive(peer.fd(), small.data(), small.size()), 15);
  EXPECT_EQ(std::string(small.data()), std::string(15, 'A'));
  // The peer said nothing more than those 100 bytes: drain, then time out.
  std::array<char, 128> rest{};
  EXPECT_EQ(UsbTmcPort_Receive(peer.fd(), rest.data(), rest.size()), 85);
  EXPECT_EQ(UsbTmcPort_Receive(peer.fd(), rest.data(), rest.size()), 0);
}

TEST(UsbTmcQuery, FillsTheResultByTheQueryType) {
  struct Case {
    sensor_qry_e query;
    std::string reply;
    int ival;
    float fval;
    std::string sval;
  };
  const Case cases[] = {
      {Q_SYSTEM_ERROR_COUNT, "42\n", 42, 0.0F, ""},
      {Q_SYSTEM_ERROR, "-222,\"Data out of range\"\n", -222, 0.0F, ""},
      {Q_SENSE_FREQUENCY, "1.5E+01\n", 0, 15.0F, ""},
      {Q_FETCH_FORWARD_AVERAGE, "-0.25\n", 0, -0.25F, ""},
      {Q_SYSTEM_MODEL, "P804  \n", 0, 0.0F, "P804  \n"},
  };
  for (const Case& c : cases) {
    const SENSOR_QRY_S& row = sensor_qry_param[c.query];
    SCOPED_TRACE(row.qry_str.data());
    ScriptedPeer peer({{row.qry_str.data(), c.reply}});
    std::array<char, USBTMC_RX_BUFFER_SIZE> buffer{};
    QRY_TYPE result;
    result.ival = 7;
    result.fval = 7.0F;
    std::strcpy(result.sval.data(), "stale");
    EXPECT_EQ(handleQuery(peer.fd(), buffer, c.query, result), static_cast<int>(c.reply.size()));
    EXPECT_EQ(result.ival, c.ival);
    EXPECT_FLOAT_EQ(result.fval, c.fval);
    EXPECT_EQ(text(result.sval), c.sval);
  }
}

TEST(UsbTmcQuery, NothingReceivedLeavesTheResultAlone) {
  ScriptedPeer peer({{"*STB?", std::nullopt}});
  std::array<char, USBTMC_RX_BUFFER_SIZE> buffer{};
  QRY_TYPE result;
  result.ival = 7;
  EXPECT_EQ(handleQuery(peer.fd(), buffer, Q_COMMON_STB, result), 0);
  EXPECT_EQ(result.ival, 7);
}

TEST(UsbTmcCommand, SuppressedWhenTheSensorAlreadyHasTheValue) {
  struct Case {
    const char* name;
    sensor_cmd_e command;
    CMD_TYPE parameter;
    std::string readBack;  // the sensor's present value
    Strings sent;          // what reaches the sensor
  };
  auto param = [](int i, float f, const char* s) {
    CMD_TYPE p;
    p.ival = i;
    p.fval = f;
    std::strcpy(p.sval.data(), s);
    return p;
  };
  const Case cases[] = {
      {"float equal", C_SENSE_FREQ, param(0, 50.0F, ""), "50\n", {"SENS:FREQ?"}},
      {"float equal, other spelling", C_SENSE_FREQ, param(0, 50.0F, ""), "5.0E+01\n", {"SENS:FREQ?"}},
      {"float differs", C_SENSE_FREQ, param(0, 50.0F, ""), "49.5\n", {"SENS:FREQ?", "SENS:FREQ 50"}},
      {"small float sent exactly", C_TRIGGER_DELAY, param(0, 5e-8F, ""), "0\n", {"TRIG:DEL?", "TRIG:DEL 5e-08"}},
      {"integer equal", C_SENSE_FREQ_AUTO, param(1, 0, ""), "1\n", {"SENS:FREQ:AUTO?"}},
      {"integer differs", C_SENSE_FREQ_AUTO, param(0, 0, ""), "1\n", {"SENS:FREQ:AUTO?", "SENS:FREQ:AUTO 0"}},
      {"text equal", C_TRIGGER_SOURCE, param(0, 0, "INT"), "INT\n", {"TRIG:SOUR?"}},
      {"text differs", C_TRIGGER_SLOPE, param(0, 0, "NEG"), "POS\n", {"TRIG:SLOP?", "TRIG:SLOP NEG"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const SENSOR_CMD_S& row = sensor_cmd_param[c.command];
    const std::string query = sensor_qry_param[static_cast<std::size_t>(row.qry)].qry_str.data();
    ScriptedPeer peer({{query, c.readBack}});
    std::array<char, USBTMC_RX_BUFFER_SIZE> buffer{};
    CMD_TYPE parameter = c.parameter;
    const int rc = handleCmd(peer.fd(), buffer, c.command, parameter);
    EXPECT_GT(rc, 0);
    EXPECT_EQ(peer.received(), c.sent);
    if (c.sent.size() == 1) {
      EXPECT_EQ(rc, static_cast<int>(c.readBack.size())) << "suppressed: the read-back's result";
    } else {
      EXPECT_EQ(rc, static_cast<int>(c.sent[1].size() + 1)) << "sent: the send result";
      EXPECT_EQ(parameter.ival, 0);
      EXPECT_EQ(parameter.fval, 0.0F);
      EXPECT_EQ(text(parameter.sval), "");
    }
  }
}

TEST(UsbTmcCommand, FailedReadBackSendsNothing) {
  ScriptedPeer peer({{"SENS:FREQ?", std::nullopt}});
  std::array<char, USBTMC_RX_BUFFER_SIZE> buffer{};
  CMD_TYPE parameter;
  parameter.fval = 50.0F;
  EXPECT_EQ(handleCmd(peer.fd(), buffer, C_SENSE_FREQ, parameter), 0);
  EXPECT_EQ(peer.received(), Strings{"SENS:FREQ?"});
  EXPECT_EQ(handleCmdWithStatus(peer.fd(), buffer, C_SENSE_FREQ, parameter), usbtmc_transportError);
}

TEST(UsbTmcCommand, FormsEachParameterTypeAndRefusesAnUnknownOne) {
  ScriptedPeer peer({});
  std::array<char, USBTMC_RX_BUFFER_SIZE> buffer{};
  CMD_TYPE parameter;
  parameter.ival = 3;
  EXPECT_EQ(handleCmd(peer.fd(), buffer, C_TRIGGER_INIT, parameter), 5);
  parameter.ival = 3;
  EXPECT_EQ(handleCmd(peer.fd(), buffer, C_PNP_FILE_BLOCK_NUMBER, parameter), 21);
  const SENSOR_CMD_S odd{99, {"ODD"}, 7, Q_END};
  EXPECT_EQ(handleCmd(peer.fd(), buffer, odd, parameter), -1);
  EXPECT_EQ(peer.received(), (Strings{"INIT", "PNP:FILE:BLOC:NUMB 3"}));
}

TEST(UsbTmcErrorQueue, LastNegativeCodeDecidesTheOutcome) {
  struct Case {
    const char* name;
    std::vector<std::string> queue;
    int outcome;
    enUSBTMCErrors status;
  };
  const Case cases[] = {
      {"empty", {}, 0, usbtmc_success},
      {"-100 then -222", {"-100,\"Command error\"\n", "-222,\"Data out of range\"\n"}, -222, usbtmc_sensorError222},
      {"-222 then -100", {"-222,\"Data out of range\"\n", "-100,\"Command error\"\n"}, -100, usbtmc_sensorError},
      {"positive entries only", {"0,\"No error\"\n"}, 1, usbtmc_success},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const bool viaCommand : {false, true}) {
      std::vector<ScriptedPeer::Step> script;
      if (viaCommand) script.push_back({"*CLS", std::nullopt});
      script.push_back({"SYST:ERR:COUN?", std::to_string(c.queue.size()) + "\n"});
      for (const auto& entry : c.queue) script.push_back({"SYST:ERR?", entry});
      ScriptedPeer peer(script);
      std::array<char, USBTMC_RX_BUFFER_SIZE> buffer{};
      if (viaCommand) {
        CMD_TYPE none;
        EXPECT_EQ(handleCmdWithStatus(peer.fd(), buffer, C_COMMON_CLS, none), c.status);
      } else {
        EXPECT_EQ(clearSysErrCount(peer.fd(), buffer), c.outcome);
      }
      EXPECT_EQ(peer.received().size(), script.size());
    }
  }
}

TEST(UsbTmcErrorQueue, UnreadableCountOrEntryIsAFailure) {
  std::array<char, USBTMC_RX_BUFFER_SIZE> buffer{};
  {
    ScriptedPeer peer({{"SYST:ERR:COUN?", std::nullopt}});
    EXPECT_EQ(clearSysErrCount(peer.fd(), buffer), -1);
    EXPECT_EQ(peer.received(), Strings{"SYST:ERR:COUN?"});
  }
  {
    // The entry never comes: the drain stops and reports a failure, not the count.
    ScriptedPeer peer({{"SYST:ERR:COUN?", "3\n"}, {"SYST:ERR?", std::nullopt}});
    EXPECT_LT(clearSysErrCount(peer.fd(), buffer), 0);
    EXPECT_EQ(peer.received(), (Strings{"SYST:ERR:COUN?", "SYST:ERR?"}));
  }
}

TEST(UsbTmcOperationComplete, OnlyOneAndLineFeedCompletes) {
  std::array<char, USBTMC_RX_BUFFER_SIZE> buffer{};
  {
    ScriptedPeer peer({{"*OPC?", "1"}, {"*OPC?", "1"}});
    EXPECT_EQ(waitOperationComplete(peer.fd(), buffer, 2), 0);
    EXPECT_EQ(peer.received(), (Strings{"*OPC?", "*OPC?"}));
  }
  {
    ScriptedPeer peer({{"*OPC?", "0\n"}, {"*OPC?", "1\n"}});
    EXPECT_EQ(waitOperationComplete(peer.fd(), buffer, 5), 1);
    EXPECT_EQ(peer.received().size(), 2U);
  }
  {
    ScriptedPeer peer({{"INIT", std::nullopt}, {"*OPC?", "1\n"}});
    EXPECT_EQ(handleInitCmd(peer.fd(), buffer), 1);
  }
}

TEST(UsbTmcStatus, StatusQueriesWaitForAReply) {
  ScriptedPeer peer({{"*STB?", "20\n"}, {"STAT:QUES:COND?", "512\n"}});
  std::array<char, USBTMC_RX_BUFFER_SIZE> buffer{};
  EXPECT_EQ(handleReadStatusByteQuery(peer.fd(), buffer), 3);
  EXPECT_STREQ(buffer.data(), "20\n");
  EXPECT_EQ(handleQuestionableEventQuery(peer.fd(), buffer), 4);
  EXPECT_STREQ(buffer.data(), "512\n");
}

TEST(UsbTmcBlock, HeaderGivesTheDataLength) {
  struct Case {
    const char* block;
    int size;
  };
  const Case cases[] = {
      {"#3005abcde\n", 5}, {"#15hello", 5}, {"xx#3123", 123}, {"#211", 11},
      {"#", -1},           {"#3a00", -1},   {"#30", -1},      {"", -1}, {"#0", -1}, {"no header", -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.block);
    EXPECT_EQ(getBlockSize(c.block), c.size);
  }
}

std::vector<ScriptedPeer::Step> pnpScript(const std::vector<std::string>& blocks, int size) {
  std::vector<ScriptedPeer::Step> script = {
      {"PNP:AVA?", "1\n"},
      {"PNP:ITR", std::nullopt},
      {"PNP:FILE:SIZE?", std::to_string(size) + "\n"},
      {"PNP:FILE:BLOC:TOT?", std::to_string(blocks.size()) + "\n"},
  };
  for (std::size_t n = 0; n < blocks.size(); ++n) {
    script.push_back({"PNP:FILE:BLOC:NUMB " + std::to_string(n + 1), std::nullopt});
    script.push_back({"PNP:FILE:BLOC:DATA?", blocks[n]});
  }
  return script;
}

TEST(UsbTmcPnP, FiveByteBlockContributesExactlyItsData) {
  ScriptedPeer peer(pnpScript({std::string("#3005HELLO\n"), std::string("#3004ab\0c\n", 10)}, 9));
  std::array<char, USBTMC_RX_BUFFER_SIZE> buffer{};
  std::array<char, 64> file{};
  ASSERT_EQ(openPnPFile(peer.fd(), buffer, file), 0);
  EXPECT_STREQ(file.data(), "HELLOabc") << "NUL bytes are dropped";
}

TEST(UsbTmcPnP, EveryBrokenStepFails) {
  struct Case {
    const char* name;
    std::vector<ScriptedPeer::Step> script;
    std::size_t fileSize;
  };
  const Case cases[] = {
      {"not available", {{"PNP:AVA?", "0\n"}}, 64},
      {"no size", {{"PNP:AVA?", "1\n"}, {"PNP:ITR", std::nullopt}, {"PNP:FILE:SIZE?", "0\n"}}, 64},
      {"empty block", pnpScript({"#3000\n"}, 5), 64},
      {"block shorter than its header says", pnpScript({"#3009abc\n"}, 9), 64},
      {"no block header", pnpScript({"HELLO\n"}, 5), 64},
      {"block reply missing", pnpScript({}, 5), 64},
      {"file larger than the buffer", pnpScript({"#3010abcdefghij\n"}, 10), 8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto script = c.script;
    if (std::string(c.name) == "block reply missing") {
      script = pnpScript({"#3005HELLO\n"}, 5);
      script.back().reply = std::nullopt;
    }
    ScriptedPeer peer(script);
    std::array<char, USBTMC_RX_BUFFER_SIZE> buffer{};
    std::vector<char> file(c.fileSize, '\0');
    EXPECT_EQ(openPnPFile(peer.fd(), buffer, file), -1);
    EXPECT_EQ(std::strlen(file.data()) < c.fileSize, true) << "the file stays terminated";
  }
}

}  // namespace
