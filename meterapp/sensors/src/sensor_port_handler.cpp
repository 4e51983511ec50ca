#include "sensor_port_handler.h"

#include <cstdio>
#include <cstdlib>
#include <system_error>
#include <thread>

#include "log_manager.h"
#include "sensor_data.h"
#include "serial_sensor.h"
#include "usb_sensor.h"
#include "text_field.h"

namespace {

std::size_t idx(int port) { return static_cast<std::size_t>(port); }

std::jthread& threadOf(int port) {
  if (SensorPort_isSerial(port)) return sensorSerialHandlerData[idx(port)].thread_id;
  return sensorUsbHandlerData[idx(port - kSerialPortCount)].thread_id;
}

template <typename Function>
void startThread(int port, Function function) {
  try {
    threadOf(port) = std::jthread(function, port);
  } catch (const std::system_error& error) {
    DIAGNOSTIC("Fail...Cannot spawn the handler thread of sensor port %d: %s\n", port, error.what());
    // Other threads already run (the display update thread at least): end
    // without static destructors, which would tear down the port records
    // and locks under them.
    std::fflush(nullptr);
    std::_Exit(-1);
  }
}

void prepareSerialPort(int port) {
  SERIAL_HANDLER_DATA& h = sensorSerialHandlerData[idx(port)];
  h.serialPort = SERIAL_PORT_DATA{};
  h.serialPort.channelIndex = port;
  TextField_copy(h.serialPort.serialPortName,
                 TextField_view(port == sensorPort_Serial1 ? serialPort1Name : serialPort2Name));
  h.serialPort.fd = -1;
  h.sensorState = stateSerConnect;
  h.isInitialized = false;
}

void prepareUsbPort(int port) {
  USB_HANDLER_DATA& h = sensorUsbHandlerData[idx(port - kSerialPortCount)];
  USB_PORT_DATA& p = h.usbPort;
  p.channelIndex = port;
  p.usbPortName.fill('\0');
  p.portState = sensorPortDisconnected;
  p.portClosed = false;
  p.rxBuffer.fill('\0');
  p.fd = 0;
  p.configDone = false;
  p.initTimeout = true;
  h.sensorState = stateUsbStart;
  h.usbtmcSubstate = 0;
  h.isInitialized = false;
  Event_Initialize(&h.usbtmcConfigureComplete);
  std::lock_guard guard(sensorPortConfigMutex[idx(port)]);
  h.newConfig = true;
}

}  // namespace

void SensorPortHandler_Create(int port) {
  if (!SensorPort_isValid(port)) return;
  SensorPortHandler_Stop(port);
  if (SensorPort_isSerial(port)) {
    prepareSerialPort(port);
  } else {
    prepareUsbPort(port);
  }
  sensorPortHandler_resetSensorInformation(port);
  sensorPortHandler_setSensorStatus(port, notReady, "");
  if (SensorPort_isSerial(port)) {
    startThread(port, sensorSerialHandlerThread);
  } else {
    startThread(port, sensorUsbHandlerThread);
  }
}

void SensorPortHandler_Stop(int port) {
  if (!SensorPort_isValid(port)) return;
  std::jthread& thread = threadOf(port);
  thread.request_stop();
  if (thread.joinable()) thread.join();
  sensorPortHandler_closeRetiredUsbDescriptor(port);
}
