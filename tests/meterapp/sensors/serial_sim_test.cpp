// The serial CW handlers against the project's sensor simulator, unpaced:
// the same device root, links and sensors the meter meets off the device.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <thread>

#include "device_fixtures.h"
#include "scripted_sensor.h"
#include "sensor_port_handler.h"
#include "serial_sensor.h"
#include "simulator.h"
#include "text_field.h"

namespace {

using namespace std::chrono_literals;
using test_support::ScratchRoot;
using test_support::waitUntil;

std::string modelOf(int port) {
  return std::string(TextField_view(sensorPortHandler_getSensorInformation(port).sensorIdentity.sensorModel));
}
std::string serialOf(int port) {
  return std::string(TextField_view(sensorPortHandler_getSensorInformation(port).serialNumber));
}
bool isReadyNow(int port) { return sensorPortHandler_getSensorStatus(port).status == isReady; }
float forwardOf(int port) { return sensorPortHandler_getSensorMeasurements(port).fwdPwrVal; }

bool measuring(int port) {
  const sensorSerCommState state = SensorPortHandler_getSerialState(port);
  return state >= stateSerFwd && state <= stateSerFramingSync;
}

class SerialSimulatorTest : public ::testing::Test {
 protected:
  void TearDown() override {
    for (int port : {sensorPort_Serial1, sensorPort_Serial2}) {
      sensorPortHandler_setIsConnected(port, false);
      SensorPortHandler_Stop(port);
    }
  }
  void control(const std::string& line) { ASSERT_EQ(sim.control(line).substr(0, 2), "OK") << line; }
  // Plugs a sensor into the simulator (then applies the identity settings,
  // which belong to the plugged sensor) and attaches the port's handler.
  void plugAndAttach(int port, const std::string& model, const std::string& identitySetting = "") {
    control("plug serial" + std::to_string(port + 1) + " " + model);
    if (!identitySetting.empty()) control("set serial" + std::to_string(port + 1) + " " + identitySetting);
    SensorPortHandler_Create(port);
    sensorPortHandler_setIsConnected(port, true);
    ASSERT_TRUE(waitUntil([&] { return isReadyNow(port); })) << model;
  }

  ScratchRoot root;
  Simulator sim{SimOptions{root.path().string(), false, 50}};
};

TEST_F(SerialSimulatorTest, IdentityAndReadingsOfBothPorts) {
  control("set serial1 fwd 100");
  control("set serial1 rfl 0.25");
  control("set serial1 freq 2450");
  control("set serial1 temp 31.5");
  control("set serial2 fwd 4");
  plugAndAttach(sensorPort_Serial1, "C604", "maxpower 150");
  plugAndAttach(sensorPort_Serial2, "C605");

  // "C604" arrives padded with four 0xFF bytes.
  EXPECT_EQ(modelOf(0), "C604");
  EXPECT_EQ(serialOf(0), "60412345");
  EXPECT_FLOAT_EQ(sensorPortHandler_getSensorMaxPower(0), 150.0F);
  EXPECT_EQ(modelOf(1), "C605");
  EXPECT_EQ(serialOf(1), "60512345");

  // The sensor sends 10.0 for 100 W: the handler squares it.
  ASSERT_TRUE(waitUntil([] { return forwardOf(0) == 100.0F; }));
  ASSERT_TRUE(waitUntil([] { return sensorPortHandler_getSensorMeasurements(0).temperatureVal == 31.5F; }));
  const SENSOR_MEASUREMENTS m = sensorPortHandler_getSensorMeasurements(0);
  EXPECT_FLOAT_EQ(m.rflPwrVal, 0.25F);
  EXPECT_FLOAT_EQ(m.freqVal, 2450.0F);
  ASSERT_TRUE(waitUntil([] { return forwardOf(1) == 4.0F; }));

  // Readings follow the sensor.
  control("set serial1 fwd 25");
  control("set serial1 freq 433");
  EXPECT_TRUE(waitUntil([] { return forwardOf(0) == 25.0F; }));
  EXPECT_TRUE(waitUntil([] { return sensorPortHandler_getSensorMeasurements(0).freqVal == 433.0F; }));
  EXPECT_FLOAT_EQ(forwardOf(1), 4.0F);
}

TEST_F(SerialSimulatorTest, ModelsWithoutMemoryKeepAnEmptySerialNumber) {
  for (const char* model : {"C602A200", "QRV100"}) {
    SCOPED_TRACE(model);
    plugAndAttach(sensorPort_Serial1, model);
    EXPECT_EQ(modelOf(0), model);
    EXPECT_EQ(serialOf(0), "");
    sensorPortHandler_setIsConnected(0, false);
    SensorPortHandler_Stop(0);
  }
}

TEST_F(SerialSimulatorTest, LineFaultsResynchroniseAndKeepTheLastReading) {
  control("set serial1 fwd 100");
  plugAndAttach(sensorPort_Serial1, "C604");
  ASSERT_TRUE(waitUntil([] { return forwardOf(0) == 100.0F; }));

  for (const char* fault : {"short", "babble", "silent"}) {
    SCOPED_TRACE(fault);
    control(std::string("fault serial1 ") + fault);
    ASSERT_TRUE(waitUntil([] { return !measuring(0); }));
    std::this_thread::sleep_for(1500ms);
    // Out of the cycle for as long as the fault lasts; the reading and the
    // identity stay readable meanwhile. (A babbling line can be taken for a
    // reply once; the simulator's 0x55 bytes make an impossibly large power,
    // which the handler rejects.)
    EXPECT_FALSE(measuring(0));
    EXPECT_FLOAT_EQ(forwardOf(0), 100.0F);
    EXPECT_EQ(modelOf(0), "C604");
    if (std::string(fault) == "babble") {
      EXPECT_EQ(SensorPortHandler_getSerialState(0), stateSerFlush);
    }

    control("set serial1 fwd 49");
    control("fault serial1 none");
    ASSERT_TRUE(waitUntil([] { return forwardOf(0) == 49.0F; }));
    EXPECT_TRUE(isReadyNow(0));
    control("set serial1 fwd 100");
    ASSERT_TRUE(waitUntil([] { return forwardOf(0) == 100.0F; }));
  }
}

TEST_F(SerialSimulatorTest, APulledSensorIsIdentifiedAfreshWhenPluggedBack) {
  plugAndAttach(sensorPort_Serial1, "C604");
  control("pull serial1");
  sensorPortHandler_setIsConnected(0, false);
  // The handler finishes the exchange in progress, which now times out.
  std::this_thread::sleep_for(2000ms);
  ASSERT_FALSE(sensorPortHandler_getIsConnected(0));
  control("plug serial1 C602A200");
  sensorPortHandler_setIsConnected(0, true);
  ASSERT_TRUE(waitUntil([] { return isReadyNow(0) && modelOf(0) == "C602A200"; }));
  EXPECT_EQ(serialOf(0), "");
}

}  // namespace
