// The serial CW sensors (C60x family) on sensor ports 0 and 1.
//
// A sensor answers single-letter commands with fixed-length binary replies at
// 9600 baud: "S" synchronises, "I" returns a 40-byte identity, "Z" 0x04 addr
// reads one byte of its memory, and "F", "R", "H", "T" return forward and
// reflected power (as square roots), frequency and temperature as sensor
// floats, most significant byte first. Each port's handler thread identifies
// the sensor while the port's connection flag is set and then reads it in the
// endless cycle F, R, H, T, S; any missed or short reply sends it back to
// flushing, resynchronising and identifying the sensor.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <stop_token>
#include <string_view>

#include "sensor_data.h"

constexpr std::size_t kSerialIdentityLength = 40;
// Reply time limits: the identity is long, everything else is a few bytes.
constexpr std::uint32_t kSerialReplyLimitMs = 500;
constexpr std::uint32_t kSerialIdentityLimitMs = 1000;
// The serial number lives in the nine memory bytes at these addresses.
constexpr unsigned char kSerialNumberFirstAddress = 0x30;
constexpr unsigned char kSerialNumberLastAddress = 0x38;

// Collects `length` bytes of a reply into `buffer` (cleared first) for at
// most `limitMs`. Returns the number of bytes received; a descriptor that is
// not open receives nothing and the wait lasts the whole limit.
int waitForSensorResponse(int fd, char* buffer, std::size_t length, std::uint32_t limitMs);

// Fills model, firmware revision, capability characters and power limits
// from a 40-byte identity reply; the other identity fields are left alone.
// Trailing 0xFF padding of the model is dropped; a space in the capability
// field leaves its position NUL; the power limits are stored as sent.
void SerialSensor_parseIdentity(const char* reply, SENSOR_IDENTITY* identity);
// False for the models that have no serial-number memory.
bool SerialSensor_hasSerialNumberMemory(std::string_view model);
// Keeps the decimal digits of the memory bytes, in order, up to the eight the
// field holds (a ninth digit is dropped).
void SerialSensor_keepDigits(std::string_view memoryBytes, std::array<char, 9>& serialNumber);

// One step of the port's protocol state machine.
void sensorSerialHandler_handleSensorStates(SERIAL_HANDLER_DATA* handler);
// The handler thread of serial port `port` (0 or 1): opens the port once,
// then measures during every attachment until stop is requested.
void sensorSerialHandlerThread(std::stop_token stop, int port);

// Timing of the last complete measurement cycle, in milliseconds of a steady
// clock (all 0 before the first cycle).
struct SerialCycleTiming {
  double start_time_ms = 0.0;
  double finish_time_ms = 0.0;
  double measCycle_time_ms = 0.0;
};
SerialCycleTiming SensorPortHandler_getSerialCycleTiming(int port);
// The protocol state of a serial port (stateSerConnect for other ports).
sensorSerCommState SensorPortHandler_getSerialState(int port);
