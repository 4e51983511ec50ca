#include "sensor_data.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <string_view>
#include <thread>

#include "configuration.h"
#include "text_field.h"

namespace {

// Puts every port back into the state of a port that never saw a sensor.
class SensorDataTest : public ::testing::Test {
 protected:
  void TearDown() override {
    for (int port = 0; port < kSensorPortCount; ++port) {
      sensorPortHandler_resetSensorInformation(port);
      sensorPortHandler_setSensorStatus(port, notReady, "");
      sensorPortHandler_setIsConnected(port, false);
    }
    for (std::size_t i = 0; i < sensorUsbHandlerData.size(); ++i) {
      auto& usb = sensorUsbHandlerData[i];
      std::lock_guard guard(sensorPortConfigMutex[sensorPort_USB1 + i]);
      usb.sensorConfigs = SENSOR_CONFIGS{};
      usb.newConfig = false;
      usb.isInitialized = false;
      usb.usbPort.portState = sensorPortDisconnected;
    }
  }
};

void expectDefaultMeasurement(const SENSOR_MEASUREMENTS& m) {
  EXPECT_TRUE(std::isnan(m.fwdPwrVal));
  EXPECT_TRUE(std::isnan(m.rflPwrVal));
  EXPECT_TRUE(std::isnan(m.freqVal));
  EXPECT_TRUE(std::isnan(m.temperatureVal));
  const float zeros[] = {m.batteryVal, m.prdVal, m.prfVal, m.widthVal, m.dutyCycleVal, m.gateMean, m.gateMax, m.gateMin};
  for (float z : zeros) EXPECT_EQ(z, 0.0F);
  for (const auto& s : m.pulseStates) {
    EXPECT_EQ(s.min, 0.0F);
    EXPECT_EQ(s.max, 0.0F);
    EXPECT_EQ(s.mean, 0.0F);
  }
  EXPECT_EQ(m.statusByte, 0);
  EXPECT_EQ(m.systemError, 0);
  EXPECT_EQ(m.questionable, 0);
}

void expectNoSensorConfig(const SENSOR_CONFIGS& c) {
  EXPECT_TRUE(c.bAutoFrequency);
  EXPECT_TRUE(c.bAutoPeriod);
  EXPECT_TRUE(c.bAutoTriggerLevel);
  EXPECT_EQ(c.trigSlope, 1);
  EXPECT_FALSE(c.bSupportsAutoPeriod || c.bSupportsAutoTiggerLevel || c.bSupportsTriggeredGates);
  EXPECT_FALSE(c.bModelIsTriggeredGates);
  EXPECT_EQ(c.freqVal, 0.0F);
  EXPECT_EQ(c.prdVal, 0.0F);
  EXPECT_EQ(c.trigLevelVal, 0.0F);
  EXPECT_EQ(c.trigDelayVal, 0.0F);
  EXPECT_EQ(c.numStates, 0);
  EXPECT_EQ(c.gateBegin, 0.0F);
  EXPECT_EQ(c.gateEnd, 0.0F);
  for (const auto& s : c.pulseStates) {
    EXPECT_FALSE(s.bEnabled);
    EXPECT_EQ(s.begin, 0.0F);
    EXPECT_EQ(s.end, 0.0F);
  }
}

TEST_F(SensorDataTest, PortsWithoutSensorReadTheDefaults) {
  for (int port : {0, 1, 2, 3, 4, 7, -1}) {
    SCOPED_TRACE(port);
    expectDefaultMeasurement(sensorPortHandler_getSensorMeasurements(port));
    const SENSOR_STATUS status = sensorPortHandler_getSensorStatus(port);
    EXPECT_EQ(status.status, notReady);
    EXPECT_EQ(TextField_view(status.errorString), "");
    expectNoSensorConfig(sensorPortHandler_getSensorConfigs(port));
    EXPECT_FALSE(sensorPortHandler_getIsConnected(port));
    EXPECT_FALSE(sensorPortHandler_getIsInitialized(port));
    const SENSOR_INFORMATION_DATA info = sensorPortHandler_getSensorInformation(port);
    EXPECT_EQ(TextField_view(info.sensorIdentity.sensorModel), "");
    EXPECT_EQ(TextField_view(info.serialNumber), "");
  }
}

TEST_F(SensorDataTest, PowerLimitsOfUnidentifiedAndInvalidPorts) {
  for (int port = 0; port < kSensorPortCount; ++port) {
    SCOPED_TRACE(port);
    EXPECT_EQ(sensorPortHandler_getSensorMaxPower(port), 199990.0F);
    EXPECT_EQ(sensorPortHandler_getSensorMinPower(port), 0.0F);
  }
  for (int port : {4, 7, 255, -1}) {
    SCOPED_TRACE(port);
    EXPECT_TRUE(std::isnan(sensorPortHandler_getSensorMaxPower(port)));
    EXPECT_TRUE(std::isnan(sensorPortHandler_getSensorMinPower(port)));
  }
}

TEST_F(SensorDataTest, SerialGetterCopiesOnlyTheScalarReadings) {
  SENSOR_MEASUREMENTS stored;
  stored.fwdPwrVal = 12.5F;
  stored.rflPwrVal = 0.25F;
  stored.freqVal = 915.0F;
  stored.temperatureVal = 24.0F;
  stored.dutyCycleVal = 0.5F;
  stored.pulseStates[0] = {1.0F, 2.0F, 1.5F};
  stored.gateMean = 3.0F;
  stored.statusByte = 0x44;
  stored.questionable = 0x200;
  SensorPortHandler_setSimulatedMeasurements(sensorPort_Serial2, stored);

  const SENSOR_MEASUREMENTS got = sensorPortHandler_getSensorMeasurements(sensorPort_Serial2);
  EXPECT_EQ(got.fwdPwrVal, 12.5F);
  EXPECT_EQ(got.rflPwrVal, 0.25F);
  EXPECT_EQ(got.freqVal, 915.0F);
  EXPECT_EQ(got.temperatureVal, 24.0F);
  EXPECT_EQ(got.dutyCycleVal, 0.5F);
  EXPECT_EQ(got.pulseStates[0].mean, 0.0F);  // pulse values belong to USB sensors
  EXPECT_EQ(got.gateMean, 0.0F);
  EXPECT_EQ(got.statusByte, 0);  // acquisition-internal fields never leave
  EXPECT_EQ(got.questionable, 0);
  // The other serial port is untouched.
  EXPECT_TRUE(std::isnan(sensorPortHandler_getSensorMeasurements(sensorPort_Serial1).fwdPwrVal));
}

TEST_F(SensorDataTest, UsbGetterReturnsStatisticsOfEnabledStatesOnly) {
  SENSOR_CONFIGS configs;
  configs.pulseStates[1].bEnabled = true;
  configs.pulseStates[3].bEnabled = true;
  {
    std::lock_guard guard(sensorPortConfigMutex[sensorPort_USB1]);
    sensorUsbHandlerData[0].sensorConfigs = configs;
  }
  SENSOR_MEASUREMENTS stored;
  stored.fwdPwrVal = 2.0F;
  for (int i = 0; i < kPulseStateCount; ++i) {
    const auto f = static_cast<float>(i + 1);
    stored.pulseStates[static_cast<std::size_t>(i)] = {f, 10 * f, 5 * f};
  }
  stored.gateMean = 7.0F;
  stored.gateMax = 8.0F;
  stored.gateMin = 6.0F;
  SensorPortHandler_setSimulatedMeasurements(sensorPort_USB1, stored);

  const SENSOR_MEASUREMENTS got = sensorPortHandler_getSensorMeasurements(sensorPort_USB1);
  EXPECT_EQ(got.fwdPwrVal, 2.0F);
  EXPECT_EQ(got.pulseStates[0].max, 0.0F);
  EXPECT_EQ(got.pulseStates[1].max, 20.0F);
  EXPECT_EQ(got.pulseStates[2].mean, 0.0F);
  EXPECT_EQ(got.pulseStates[3].min, 4.0F);
  EXPECT_EQ(got.gateMean, 7.0F);
  EXPECT_EQ(got.gateMax, 8.0F);
  EXPECT_EQ(got.gateMin, 6.0F);

  // Re-enabling a state later must not bring back its stale statistics.
  configs.pulseStates[0].bEnabled = true;
  {
    std::lock_guard guard(sensorPortConfigMutex[sensorPort_USB1]);
    sensorUsbHandlerData[0].sensorConfigs = configs;
  }
  EXPECT_EQ(sensorPortHandler_getSensorMeasurements(sensorPort_USB1).pulseStates[0].max, 0.0F);
}

TEST_F(SensorDataTest, ResetStartsANewAttachment) {
  {
    std::lock_guard guard(sensorPortInfoMutex[sensorPort_USB2]);
    auto& h = sensorUsbHandlerData[1];
    TextField_copy(h.sensorIdentity.sensorModel, "P804");
    h.sensorIdentity.sensorPower = {0.001F, 500.0F};
    TextField_copy(h.serialNumber, "12345678");
  }
  SENSOR_MEASUREMENTS stored;
  stored.fwdPwrVal = 3.0F;
  SensorPortHandler_setSimulatedMeasurements(sensorPort_USB2, stored);
  EXPECT_EQ(sensorPortHandler_getSensorMaxPower(sensorPort_USB2), 500.0F);
  const auto info = sensorPortHandler_getSensorInformation(sensorPort_USB2);
  EXPECT_EQ(TextField_view(info.sensorIdentity.sensorModel), "P804");
  EXPECT_EQ(TextField_view(info.serialNumber), "12345678");

  sensorPortHandler_resetSensorInformation(sensorPort_USB2);
  EXPECT_EQ(sensorPortHandler_getSensorMaxPower(sensorPort_USB2), 199990.0F);
  EXPECT_EQ(sensorPortHandler_getSensorMinPower(sensorPort_USB2), 0.0F);
  const auto cleared = sensorPortHandler_getSensorInformation(sensorPort_USB2);
  EXPECT_EQ(TextField_view(cleared.sensorIdentity.sensorModel), "");
  EXPECT_EQ(TextField_view(cleared.serialNumber), "");
  expectDefaultMeasurement(sensorPortHandler_getSensorMeasurements(sensorPort_USB2));
}

TEST_F(SensorDataTest, StatusTextIsBoundedAndTerminated) {
  sensorPortHandler_setSensorStatus(sensorPort_Serial1, hasFatalError,
                                    "a fatal error text that is much longer than thirty-one characters");
  const SENSOR_STATUS status = sensorPortHandler_getSensorStatus(sensorPort_Serial1);
  EXPECT_EQ(status.status, hasFatalError);
  EXPECT_EQ(TextField_view(status.errorString), "a fatal error text that is much");
  EXPECT_EQ(sensorPortHandler_getSensorStatus(4).status, notReady);
}

TEST_F(SensorDataTest, ConnectionFlagIsPerPortAndIgnoresInvalidPorts) {
  sensorPortHandler_setIsConnected(sensorPort_USB2, true);
  sensorPortHandler_setIsConnected(9, true);
  for (int port = 0; port < kSensorPortCount; ++port) {
    SCOPED_TRACE(port);
    EXPECT_EQ(sensorPortHandler_getIsConnected(port), port == sensorPort_USB2);
  }
  EXPECT_FALSE(sensorPortHandler_getIsConnected(9));
}

TEST_F(SensorDataTest, WrittenConfigurationKeepsCapabilitiesAndForcesAutoPeriodOffInGatedModel) {
  {
    std::lock_guard guard(sensorPortConfigMutex[sensorPort_USB1]);
    auto& stored = sensorUsbHandlerData[0].sensorConfigs;
    stored.bSupportsAutoPeriod = stored.bSupportsAutoTiggerLevel = stored.bSupportsTriggeredGates = true;
  }
  SENSOR_CONFIGS request;
  request.bModelIsTriggeredGates = true;
  request.bAutoPeriod = true;
  request.bSupportsAutoPeriod = false;  // a caller cannot change capabilities
  request.freqVal = 2.4e9F;
  request.numStates = 2;
  request.pulseStates[1] = {true, 1e-6F, 2e-6F};

  const USBTMC_PARAM_ERRORS errors = sensorPortHandler_setSensorConfigs(sensorPort_USB1, request);
  // Nobody is attached to apply it, and that is said rather than hidden.
  ASSERT_EQ(errors.count, 1);
  EXPECT_EQ(TextField_view(errors.errors[0]), "Sensor is not ready");

  const SENSOR_CONFIGS got = sensorPortHandler_getSensorConfigs(sensorPort_USB1);
  EXPECT_FALSE(got.bAutoPeriod);
  EXPECT_TRUE(got.bModelIsTriggeredGates);
  EXPECT_TRUE(got.bSupportsAutoPeriod);
  EXPECT_EQ(got.freqVal, 2.4e9F);
  EXPECT_EQ(got.numStates, 2);
  EXPECT_TRUE(got.pulseStates[1].bEnabled);
  EXPECT_EQ(got.pulseStates[1].end, 2e-6F);
  {
    std::lock_guard guard(sensorPortConfigMutex[sensorPort_USB1]);
    EXPECT_TRUE(sensorUsbHandlerData[0].newConfig);
  }

  request.bModelIsTriggeredGates = false;
  sensorPortHandler_setSensorConfigs(sensorPort_USB1, request);
  EXPECT_TRUE(sensorPortHandler_getSensorConfigs(sensorPort_USB1).bAutoPeriod);
}

TEST_F(SensorDataTest, WrittenConfigurationWaitsForTheHandlerAndReturnsItsErrors) {
  auto& handler = sensorUsbHandlerData[1];
  handler.isInitialized = true;
  handler.usbPort.fd = 99;  // never used: the handler is played below
  configuration_setPulseMode(true);
  sensorPortHandler_setIsConnected(sensorPort_USB2, true);
  std::atomic<bool> done{false};
  // Plays the handler: applies what is pending, records one rejection and
  // counts one pass per cycle.
  std::thread fakeHandler([&] {
    while (!done.load()) {
      SENSOR_CONFIGS taken;
      std::uint64_t sequence = 0;
      if (sensorPortHandler_takeConfigRequest(sensorPort_USB2, taken, sequence)) {
        USBTMC_PARAM_ERRORS errors;
        sensorPortHandler_addParamError(&errors, "Freq is not valid");
        sensorPortHandler_answerConfigRequests(sensorPort_USB2, sequence, errors);
      }
      sensorPortHandler_countConfigPass(sensorPort_USB2);
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  });
  const USBTMC_PARAM_ERRORS errors = sensorPortHandler_setSensorConfigs(sensorPort_USB2, SENSOR_CONFIGS{});
  done = true;
  fakeHandler.join();
  handler.usbPort.fd = 0;
  configuration_setPulseMode(false);
  ASSERT_EQ(errors.count, 1);
  EXPECT_EQ(TextField_view(errors.errors[0]), "Freq is not valid");
}

TEST_F(SensorDataTest, SerialPortsAcceptNoConfiguration) {
  SENSOR_CONFIGS request;
  request.freqVal = 1.0F;
  EXPECT_EQ(sensorPortHandler_setSensorConfigs(sensorPort_Serial1, request).count, 0);
  expectNoSensorConfig(sensorPortHandler_getSensorConfigs(sensorPort_Serial1));
}

TEST_F(SensorDataTest, ResendMarksOnlyConnectedUsbPorts) {
  auto& handler = sensorUsbHandlerData[0];
  sensorPortHandler_resendSensorConfig(sensorPort_USB1);
  EXPECT_FALSE(handler.newConfig);
  handler.usbPort.portState = sensorPortConnected;
  sensorPortHandler_resendSensorConfig(sensorPort_USB1);
  EXPECT_TRUE(handler.newConfig);
  sensorPortHandler_resendSensorConfig(sensorPort_Serial1);  // no effect, no crash
}

TEST(SensorParamErrors, SixthErrorIsDropped) {
  USBTMC_PARAM_ERRORS sut;
  const char* texts[] = {"Freq is not valid", "Period is not valid", "Trigger Level is not valid",
                         "Trigger Slope is not valid", "Gate Begin is not valid", "Gate End is not valid"};
  for (const char* t : texts) sensorPortHandler_addParamError(&sut, t);
  EXPECT_EQ(sut.count, 5);
  EXPECT_EQ(TextField_view(sut.errors[4]), "Gate Begin is not valid");
}

TEST(SensorRecords, DetectionBitsAndDeviceNames) {
  EXPECT_EQ(kSensorPortDetectionBit[sensorPort_Serial1], 0x01U);
  EXPECT_EQ(kSensorPortDetectionBit[sensorPort_Serial2], 0x02U);
  EXPECT_EQ(kSensorPortDetectionBit[sensorPort_USB1], 0x10U);
  EXPECT_EQ(kSensorPortDetectionBit[sensorPort_USB2], 0x20U);
  EXPECT_EQ(TextField_view(serialPort1Name), "/dev/ttyS1");
  EXPECT_EQ(TextField_view(serialPort2Name), "/dev/ttyS2");
  EXPECT_EQ(TextField_view(usbPort1Name), "/dev/usbtmc0");
  EXPECT_EQ(TextField_view(usbPort2Name), "/dev/usbtmc1");
}

TEST(TextField, CopyTruncatesAndTerminates) {
  std::array<char, 5> field{};
  EXPECT_TRUE(TextField_copy(field, "abcd"));
  EXPECT_EQ(TextField_view(field), "abcd");
  EXPECT_FALSE(TextField_copy(field, "abcdef"));
  EXPECT_EQ(TextField_view(field), "abcd");
  EXPECT_EQ(field[4], '\0');
  EXPECT_TRUE(TextField_copy(field, ""));
  EXPECT_EQ(TextField_view(field), "");
}

}  // namespace
