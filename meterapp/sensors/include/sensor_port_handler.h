// Creation of the four sensor port handlers.
//
// Every port gets its handler record and a thread of its own: the serial ports
// run the CW sensor protocol (serial_sensor.h), the USB slots the USB sensor
// handler. A handler measures only while its port's connection flag
// (sensorPortHandler_setIsConnected, sensor_data.h) is set; the detection
// layer sets and clears it as sensors come and go.
#pragma once

// Prepares the records of `port` (0 to 3) and starts its handler thread. A
// port that already has a running handler has it stopped first. The process
// ends with status -1 when the thread cannot be started.
void SensorPortHandler_Create(int port);
// Stops the handler thread of `port` and waits for it (orderly shutdown and
// tests). The records keep their last contents.
void SensorPortHandler_Stop(int port);
