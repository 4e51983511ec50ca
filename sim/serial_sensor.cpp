#include "serial_sensor.h"

#include <algorithm>
#include <cmath>

#include "sensor_word.h"

namespace {

constexpr std::size_t kIdentityLength = 40;
constexpr std::uint8_t kSerialNumberAddress = 0x30;
constexpr std::size_t kSerialNumberLength = 9;
constexpr char kCapabilities[] = "F R H T S I Z   ";

}  // namespace

std::string SerialSensor_word(float value) {
  const std::uint32_t word = sim::encodeSensorWord(value);
  std::string out(4, '\0');
  for (int i = 0; i < 4; ++i) out[static_cast<std::size_t>(i)] = static_cast<char>((word >> (24 - 8 * i)) & 0xFF);
  return out;
}

SerialSensor::SerialSensor(std::string model, std::string serial) : model_(std::move(model)) {
  memory_.fill(0xFF);
  for (std::size_t i = 0; i < kSerialNumberLength; ++i) {
    memory_[kSerialNumberAddress + i] = i < serial.size() ? static_cast<std::uint8_t>(serial[i]) : 0;
  }
}

std::string SerialSensor::identity() const {
  std::string id(kIdentityLength, '\0');
  for (std::size_t i = 0; i < 8; ++i) id[i] = i < model_.size() ? model_[i] : '\xFF';
  const std::string firmware = "V2.10";
  std::copy(firmware.begin(), firmware.end(), id.begin() + 8);
  std::copy_n(kCapabilities, 16, id.begin() + 16);
  const std::string max = SerialSensor_word(maxPower);
  const std::string min = SerialSensor_word(minPower);
  std::copy(max.begin(), max.end(), id.begin() + 32);
  std::copy(min.begin(), min.end(), id.begin() + 36);
  return id;
}

std::string SerialSensor::reply(char command, std::uint8_t address) const {
  switch (command) {
    case 'S':
      return "S";
    case 'I':
      return identity();
    case 'Z':
      return std::string{static_cast<char>(memory_[address]), '\0'};
    case 'F':
      return SerialSensor_word(std::sqrt(std::max(readings.forward, 0.0F)));
    case 'R':
      return SerialSensor_word(std::sqrt(std::max(readings.reflected, 0.0F)));
    case 'H':
      return SerialSensor_word(readings.frequency);
    case 'T':
      return SerialSensor_word(readings.temperature);
    default:
      return {};
  }
}

std::string SerialSensor::respond(std::string& input) {
  std::string out;
  while (!input.empty()) {
    const char command = input.front();
    std::uint8_t address = 0;
    if (command == 'Z') {
      if (input.size() < 3) break;  // the rest of the memory read is still on the line
      address = static_cast<std::uint8_t>(input[2]);
      input.erase(0, 3);
    } else {
      input.erase(0, 1);
    }
    std::string answer = reply(command, address);
    if (answer.empty() || fault == SerialFault::silent || fault == SerialFault::babble) continue;
    if (fault == SerialFault::shortReply) answer.pop_back();
    out += answer;
  }
  return out;
}
