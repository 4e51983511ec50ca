// A P80x "CW & Pulse" USB sensor as the meter sees it: SCPI text in, one
// reply per query out. Pure state, no I/O: the simulator's port thread feeds
// it the meter's messages line by line.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct UsbSensorReadings {
  float forward = 1.0F;       // W
  float reflected = 0.01F;    // W
  float frequency = 1.0e9F;   // Hz (sent in MHz)
  float temperature = 25.0F;  // degrees C
  float period = 1.0e-3F;     // s (sent in microseconds)
  float prf = 1000.0F;        // Hz
  float width = 1.0e-4F;      // s (sent in microseconds)
  float dutyCycle = 10.0F;    // percent
  float gateMean = 0.5F;
  float gateMax = 2.0F;
  float gateMin = 0.0F;
  std::array<std::array<float, 3>, 4> states{};  // per state: mean, max, min
  int questionable = 0;
};

// Faults to inject.
enum class UsbFault {
  none,
  shortReply,  // every reply loses its line feed and half its text
  silent,      // no reply at all
  opcNever,    // "*OPC?" always answers 0: the measurement never completes
};

struct UsbSensorSettings {
  int freqAuto = 1;
  float freqMHz = 1000.0F;
  int periodAuto = 1;
  float period = 0.01F;
  int reflectedEnabled = 1;
  int sweepTimeAuto = 1;
  float sweepTime = 0.01F;
  std::array<int, 4> stateEnabled{};
  std::array<float, 4> stateBegin{};
  std::array<float, 4> stateEnd{};
  float gateBegin = 0.0F;
  float gateEnd = 0.0F;
  std::string triggerSource = "INT";
  std::string triggerSlope = "POS";
  int triggerLevelAuto = 1;
  float triggerLevel = 0.0F;
  float triggerDelay = 0.0F;
};

class UsbSensor {
 public:
  // "P803" (no auto period, trigger or state windows) or "P804" (all).
  explicit UsbSensor(std::string model = "P804", std::string serial = "80412345");

  // One SCPI message from the meter, without its line end. Returns the reply
  // (with its line end) for a query, nothing for a command or a query that
  // failed (the failure goes to the error queue).
  std::optional<std::string> handle(std::string_view message);

  // Adds an entry to the error queue, as if a command had failed.
  void pushError(int code, std::string_view text = "Simulated error");

  const std::string& model() const { return model_; }
  bool extended() const { return extended_; }
  const UsbSensorSettings& settings() const { return settings_; }
  std::size_t errorCount() const { return errors_.size(); }
  // Times a header (the message up to its first blank) was received.
  int received(std::string_view header) const;
  // The commands (messages that are not queries) received since the last
  // resetCommands(), counted per header in the order first seen, and their
  // total. At most 64 distinct headers are listed; the total counts all.
  struct CommandCount {
    std::string header;
    int count = 0;
  };
  const std::vector<CommandCount>& commandsSinceReset() const { return commands_; }
  int commandTotalSinceReset() const { return commandTotal_; }
  void resetCommands();
  // The plug-and-play document the sensor serves.
  const std::string& pnpFile() const { return pnp_; }

  UsbSensorReadings readings;
  UsbFault fault = UsbFault::none;

 private:
  std::optional<std::string> dispatch(std::string_view header, std::string_view argument);
  std::optional<std::string> command(std::string_view header, std::string_view argument);
  std::optional<std::string> query(std::string_view header);
  std::optional<std::string> settingQuery(std::string_view header);
  std::optional<std::string> fetchQuery(std::string_view header);
  std::optional<std::string> pnpQuery(std::string_view header);
  bool settingCommand(std::string_view header, std::string_view argument);
  bool setFloat(std::string_view argument, float min, float max, float& to);
  bool setFlag(std::string_view argument, int& to);
  std::string block(int number) const;
  int statusByte() const;

  std::string model_;
  std::string serial_;
  bool extended_;
  float maxPeriod_;
  UsbSensorSettings settings_;
  std::deque<std::pair<int, std::string>> errors_;
  std::map<std::string, int, std::less<>> received_;
  std::vector<CommandCount> commands_;
  int commandTotal_ = 0;
  std::string pnp_;
  int blockNumber_ = 1;
};

// The number as the sensor prints it: shortest exact text of the float.
std::string UsbSensor_number(float value);
