// Placeholder of the USB sensor handler, until the USB sensor protocol is
// built: it only follows its connection flag. Each new attachment clears the
// slot's sensor information, and the slot never becomes ready.
#include <chrono>
#include <thread>

#include "sensor_data.h"
#include "usb_sensor.h"

namespace {

using namespace std::chrono_literals;

constexpr auto kIdlePoll = 10ms;

}  // namespace

void sensorUsbHandlerThread(std::stop_token stop, int port) {
  bool attached = false;
  while (!stop.stop_requested()) {
    const bool connected = sensorPortHandler_getIsConnected(port);
    if (connected && !attached) {
      sensorPortHandler_resetSensorInformation(port);
      sensorPortHandler_setSensorStatus(port, notReady, "");
    }
    attached = connected;
    std::this_thread::sleep_for(kIdlePoll);
  }
}
