// The USB request layer against the simulated sensor, through the device
// node the meter opens.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "sensor_limits.h"
#include "simulator.h"
#include "scratch_root.h"
#include "usb_sensor.h"
#include "usbtmc_requests.h"

namespace {

class UsbTmcAgainstSimulator : public ::testing::Test {
 protected:
  void SetUp() override {
    SimOptions options;
    options.root = root.path().string();
    options.paced = false;
    options.usbTimeoutTenths = 3;
    sim = std::make_unique<Simulator>(options);
    ASSERT_EQ(sim->control("plug usb1 P804"), "OK");
    fd = UsbTmcPort_Open(2, "/dev/usbtmc0");
    ASSERT_GT(fd, 0);
  }
  void TearDown() override {
    UsbTmcPort_Close(fd);
    sim.reset();
  }
  int count(const std::string& header) {
    const std::string answer = sim->control("count usb1 " + header);
    return std::stoi(answer.substr(3));
  }

  test_support::ScratchRoot root;
  std::unique_ptr<Simulator> sim;
  int fd = -1;
  std::array<char, USBTMC_RX_BUFFER_SIZE> buffer{};
};

TEST(UsbTmcTablesAgainstSimulator, ExtendedSensorAnswersEveryQueryAndTakesEveryCommand) {
  UsbSensor sensor("P804");
  for (const SENSOR_QRY_S& row : sensor_qry_param) {
    SCOPED_TRACE(row.qry_str.data());
    const auto reply = sensor.handle(row.qry_str.data());
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(reply->back(), '\n');
  }
  for (const SENSOR_CMD_S& row : sensor_cmd_param) {
    SCOPED_TRACE(row.cmd_str.data());
    // Each setting back to the value it has: accepted, so nothing is queued.
    std::string message = row.cmd_str.data();
    if (row.qry != Q_END) {
      std::string current = *sensor.handle(sensor_qry_param[static_cast<std::size_t>(row.qry)].qry_str.data());
      current.pop_back();
      message += " " + current;
    } else if (row.param_type == USBTMC_PARAM_INT) {
      message += " 1";
    }
    EXPECT_EQ(sensor.handle(message), std::nullopt);
    EXPECT_EQ(sensor.errorCount(), 0U) << *sensor.handle("SYST:ERR?");
  }
}

TEST_F(UsbTmcAgainstSimulator, CommandSuppressedWhenTheSensorHasTheValue) {
  CMD_TYPE frequency;
  frequency.fval = 433.92F;
  EXPECT_EQ(handleCmdWithStatus(fd, buffer, C_SENSE_FREQ, frequency), usbtmc_success);
  EXPECT_EQ(count("SENS:FREQ"), 1);
  EXPECT_EQ(frequency.fval, 0.0F) << "cleared once sent";

  frequency.fval = 433.92F;
  EXPECT_EQ(handleCmdWithStatus(fd, buffer, C_SENSE_FREQ, frequency), usbtmc_success);
  EXPECT_EQ(count("SENS:FREQ"), 1) << "already there: nothing sent";
  EXPECT_EQ(count("SENS:FREQ?"), 2);

  CMD_TYPE source;
  std::strcpy(source.sval.data(), "INT");
  EXPECT_EQ(handleCmdWithStatus(fd, buffer, C_TRIGGER_SOURCE, source), usbtmc_success);
  EXPECT_EQ(count("TRIG:SOUR"), 0) << "the sensor starts with the internal trigger";
}

TEST_F(UsbTmcAgainstSimulator, ErrorQueueOutcomes) {
  struct Case {
    const char* name;
    std::vector<const char*> queue;
    enUSBTMCErrors status;
  };
  const Case cases[] = {
      {"-100 then -222", {"-100", "-222"}, usbtmc_sensorError222},
      {"-222 then -100", {"-222", "-100"}, usbtmc_sensorError},
      {"empty", {}, usbtmc_success},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const char* code : c.queue) ASSERT_EQ(sim->control(std::string("error usb1 ") + code), "OK");
    CMD_TYPE none;
    EXPECT_EQ(handleCmdWithStatus(fd, buffer, C_TRIGGER_INIT, none), c.status);
    EXPECT_EQ(sim->control("scpi usb1 SYST:ERR:COUN?"), "OK 0") << "drained";
  }
  // A value the sensor rejects as out of range.
  CMD_TYPE frequency;
  frequency.fval = 99999.0F;
  EXPECT_EQ(handleCmdWithStatus(fd, buffer, C_SENSE_FREQ, frequency), usbtmc_sensorError222);
  QRY_TYPE period;
  EXPECT_EQ(handleQueryWithStatus(fd, buffer, Q_SENSE_PERIOD, period), usbtmc_success);
  EXPECT_FLOAT_EQ(period.fval, 0.01F);
}

TEST_F(UsbTmcAgainstSimulator, OperationCompleteAndItsFaults) {
  EXPECT_EQ(handleInitCmd(fd, buffer), 1);
  ASSERT_EQ(sim->control("fault usb1 short"), "OK");  // "*OPC?" answers "1" without line feed
  EXPECT_EQ(waitOperationComplete(fd, buffer, 3), 0);
  EXPECT_EQ(count("*OPC?"), 4);
  ASSERT_EQ(sim->control("fault usb1 opc-never"), "OK");
  EXPECT_EQ(waitOperationComplete(fd, buffer, 2), 0);
  ASSERT_EQ(sim->control("fault usb1 silent"), "OK");
  QRY_TYPE model;
  EXPECT_EQ(handleQuery(fd, buffer, Q_SYSTEM_MODEL, model), 0) << "a missing reply times out as nothing";
  EXPECT_EQ(handleQueryWithStatus(fd, buffer, Q_SYSTEM_MODEL, model), usbtmc_transportError);
  ASSERT_EQ(sim->control("fault usb1 none"), "OK");
  EXPECT_GT(handleReadStatusByteQuery(fd, buffer), 0);
  EXPECT_STREQ(buffer.data(), "16\n");
}

TEST_F(UsbTmcAgainstSimulator, PlugAndPlayFileEndToEnd) {
  std::vector<char> file(PNP_FILE_BUFFER_SIZE, '\0');
  ASSERT_EQ(openPnPFile(fd, buffer, file), 0);
  EXPECT_EQ(std::string(file.data()), UsbSensor("P804", "80412345").pnpFile());

  SENSOR_IDENTITY id;
  ASSERT_EQ(getMinMaxParameters(fd, buffer, id), 0);
  EXPECT_FLOAT_EQ(id.sensorPower.min, 0.001F);
  EXPECT_FLOAT_EQ(id.sensorPower.max, 1000.0F);
  EXPECT_FLOAT_EQ(id.sensorPrf.max, 500000.0F);
  EXPECT_FLOAT_EQ(id.sensorFrequency.min, 1e6F);
  EXPECT_FLOAT_EQ(id.sensorPulsePeriod.max, 1.0F);
  EXPECT_FLOAT_EQ(id.pulseStates[3].end.min, -1.0F);

  // A sensor that stops answering part way fails the transfer.
  ASSERT_EQ(sim->control("fault usb1 silent"), "OK");
  EXPECT_EQ(openPnPFile(fd, buffer, file), -1);
}

TEST_F(UsbTmcAgainstSimulator, PulledSensorFailsItsRequests) {
  ASSERT_EQ(sim->control("pull usb1"), "OK");
  QRY_TYPE model;
  EXPECT_LE(handleQuery(fd, buffer, Q_SYSTEM_MODEL, model), 0);
  EXPECT_EQ(UsbTmcPort_Open(2, "/dev/usbtmc0"), -1);
}

}  // namespace
