// A C60x CW sensor on a serial port, seen from the sensor's side: single
// letter commands in, fixed-length binary replies out. Pure state, no I/O:
// the simulator's port thread feeds it the bytes that arrive and paces the
// reply on the line.
#pragma once

#include <array>
#include <cstdint>
#include <string>

struct SerialSensorReadings {
  float forward = 10.0F;      // W (sent as its square root)
  float reflected = 0.1F;     // W (sent as its square root)
  float frequency = 100.0F;   // the sensor's own unit, sent unscaled
  float temperature = 25.0F;  // degrees C
};

enum class SerialFault {
  none,
  shortReply,  // every reply one byte short
  silent,      // no reply at all
  babble,      // sends without end and answers nothing
};

class SerialSensor {
 public:
  // The model text fills the first eight identity bytes (0xFF padded);
  // the serial number is kept in memory at 0x30 to 0x38.
  explicit SerialSensor(std::string model = "C604", std::string serial = "60412345");

  // Takes the complete commands at the front of `input` (bytes received so
  // far) and returns the reply bytes; an incomplete memory read stays in
  // `input` for the next call, unknown bytes are dropped.
  std::string respond(std::string& input);

  // The 40-byte identity reply.
  std::string identity() const;
  const std::string& model() const { return model_; }

  SerialSensorReadings readings;
  SerialFault fault = SerialFault::none;
  float maxPower = 1000.0F;  // W, in the identity
  float minPower = 0.01F;    // W

 private:
  std::string reply(char command, std::uint8_t address) const;

  std::string model_;
  std::array<std::uint8_t, 256> memory_{};
};

// Four bytes, most significant first, of the sensor float word.
std::string SerialSensor_word(float value);
