#include "serial_config.h"

#include <array>
#include <optional>
#include <string>

#include "configuration.h"
#include "log_manager.h"
#include "serial_port.h"

const SerialSpeedEntry speed_table[6] = {
    {B300, "300"}, {B600, "600"}, {B1200, "1200"}, {B2400, "2400"}, {B4800, "4800"}, {B9600, "9600"},
};
const char* const parity_table_config[3] = {"NONE", "ODD", "EVEN"};
const char* const config_file_label[4] = {"serialSpeed", "serialDataBits", "serialStopBits", "serialParity"};

namespace {

const char* const dataBitsLabels[2] = {"7", "8"};
const char* const stopBitsLabels[2] = {"1", "2"};

// The values last read from the settings file, one per key. They stand in for
// the port when it cannot be read (not opened, or gone), so a settings save
// never drops the user's port settings from the file.
std::array<std::optional<std::string>, 4> rememberedValues;

// Index of label in a table of labels, or -1.
template <std::size_t N>
int indexOf(const char* const (&labels)[N], std::string_view label) {
  for (std::size_t i = 0; i < N; ++i) {
    if (label == labels[i]) return static_cast<int>(i);
  }
  return -1;
}

std::string printable(std::string_view text) { return std::string(text); }

// A code is its label's index in the table; unknown ones are logged and
// replaced by the fallback.
template <std::size_t N>
const char* labelOf(const char* const (&labels)[N], std::int8_t code, std::int8_t fallback) {
  if (code >= 0 && static_cast<std::size_t>(code) < N) return labels[code];
  DIAGNOSTIC("Unsupported %d\n", code);
  return labels[fallback];
}

template <std::size_t N>
std::int8_t codeOf(const char* const (&labels)[N], std::string_view label, std::int8_t fallback) {
  const int index = indexOf(labels, label);
  if (index >= 0) return static_cast<std::int8_t>(index);
  DIAGNOSTIC("Unsupported '%s'\n", printable(label).c_str());
  return fallback;
}

// The first word of text; blanks, line feeds and carriage returns delimit.
std::string_view firstWord(std::string_view text) {
  constexpr std::string_view delimiters = " \n\r";
  const auto start = text.find_first_not_of(delimiters);
  if (start == std::string_view::npos) return {};
  text.remove_prefix(start);
  return text.substr(0, text.find_first_of(delimiters));
}

// Applies one setting to a termios copy; returns the canonical label stored.
const char* applyValue(config_file_label_id_t id, std::string_view value, struct termios* config) {
  switch (id) {
    case CONFIG_FILE_SERIAL_SPEED: {
      const speed_t speed = SerialConfig_LabelToSpeed(value);
      SerialConfig_TermiosPutSpeed(config, speed);
      return SerialConfig_SpeedToLabel(speed);
    }
    case CONFIG_FILE_SERIAL_DATA_BITS: {
      const auto bits = SerialConfig_LabelToDataBits(value);
      SerialConfig_TermiosPutDataBits(config, bits);
      return SerialConfig_DataBitsToLabel(bits);
    }
    case CONFIG_FILE_SERIAL_STOP_BITS: {
      const auto bits = SerialConfig_LabelToStopBits(value);
      SerialConfig_TermiosPutStopBits(config, bits);
      return SerialConfig_StopBitsToLabel(bits);
    }
    case CONFIG_FILE_SERIAL_PARITY: {
      const auto parity = SerialConfig_LabelToParity(value);
      SerialConfig_TermiosPutParity(config, parity);
      return SerialConfig_ParityToLabel(parity);
    }
    case CONFIG_FILE_SERIAL_NONE:
      break;
  }
  return "";
}

}  // namespace

speed_t SerialConfig_TermiosGetSpeed(const struct termios* config) {
  const speed_t ispeed = ::cfgetispeed(config);
  const speed_t ospeed = ::cfgetospeed(config);
  // An input speed of 0 means "the same as the output speed".
  if (ispeed == 0) return ospeed;
  if (ispeed != ospeed) DIAGNOSTIC("ispeed (%d) <> ospeed (%d)\n", static_cast<int>(ispeed), static_cast<int>(ospeed));
  return ispeed;
}

void SerialConfig_TermiosPutSpeed(struct termios* config, speed_t speed) {
  ::cfsetispeed(config, speed);
  ::cfsetospeed(config, speed);
}

std::int8_t SerialConfig_TermiosGetDataBits(const struct termios* config) {
  switch (config->c_cflag & CSIZE) {
    case CS7:
      return DATA_BITS_7;
    case CS8:
      return DATA_BITS_8;
    default:
      DIAGNOSTIC("Unsupported (c_cflag = %04x)\n", static_cast<unsigned>(config->c_cflag));
      return DATA_BITS_7;
  }
}

void SerialConfig_TermiosPutDataBits(struct termios* config, std::int8_t dataBits) {
  config->c_cflag &= ~CSIZE;
  if (dataBits == DATA_BITS_8) {
    config->c_cflag |= CS8;
    return;
  }
  if (dataBits != DATA_BITS_7) DIAGNOSTIC("Unsupported %d\n", dataBits);
  config->c_cflag |= CS7;
}

std::int8_t SerialConfig_TermiosGetStopBits(const struct termios* config) {
  return (config->c_cflag & CSTOPB) != 0 ? STOP_BITS_2 : STOP_BITS_1;
}

void SerialConfig_TermiosPutStopBits(struct termios* config, std::int8_t stopBits) {
  if (stopBits == STOP_BITS_2) {
    config->c_cflag |= CSTOPB;
  } else {
    config->c_cflag &= ~CSTOPB;
  }
}

std::int8_t SerialConfig_TermiosGetParity(const struct termios* config) {
  if ((config->c_cflag & PARENB) == 0) return PARITY_NONE;
  return (config->c_cflag & PARODD) != 0 ? PARITY_ODD : PARITY_EVEN;
}

void SerialConfig_TermiosPutParity(struct termios* config, std::int8_t parity) {
  switch (parity) {
    case PARITY_NONE:
      config->c_cflag &= ~PARENB;
      break;
    case PARITY_ODD:
      config->c_cflag |= (PARENB | PARODD);
      break;
    case PARITY_EVEN:
      config->c_cflag |= PARENB;
      config->c_cflag &= ~PARODD;
      break;
    default:
      DIAGNOSTIC("Unsupported %d\n", parity);
      break;
  }
}

const char* SerialConfig_SpeedToLabel(speed_t speed) {
  for (const auto& entry : speed_table) {
    if (entry.speed == speed) return entry.label;
  }
  DIAGNOSTIC("Unsupported %d\n", static_cast<int>(speed));
  return "2400";
}

speed_t SerialConfig_LabelToSpeed(std::string_view label) {
  for (const auto& entry : speed_table) {
    if (label == entry.label) return entry.speed;
  }
  DIAGNOSTIC("Unsupported '%s'\n", printable(label).c_str());
  return B2400;
}

const char* SerialConfig_DataBitsToLabel(std::int8_t dataBits) {
  return labelOf(dataBitsLabels, dataBits, DATA_BITS_8);
}

std::int8_t SerialConfig_LabelToDataBits(std::string_view label) {
  return codeOf(dataBitsLabels, label, DATA_BITS_8);
}

const char* SerialConfig_StopBitsToLabel(std::int8_t stopBits) {
  return labelOf(stopBitsLabels, stopBits, STOP_BITS_2);
}

std::int8_t SerialConfig_LabelToStopBits(std::string_view label) {
  return codeOf(stopBitsLabels, label, STOP_BITS_2);
}

const char* SerialConfig_ParityToLabel(std::int8_t parity) {
  return labelOf(parity_table_config, parity, PARITY_NONE);
}

std::int8_t SerialConfig_LabelToParity(std::string_view label) {
  return codeOf(parity_table_config, label, PARITY_NONE);
}

config_file_label_id_t SerialConfig_LabelId(std::string_view key) {
  const int index = indexOf(config_file_label, key);
  return index < 0 ? CONFIG_FILE_SERIAL_NONE : static_cast<config_file_label_id_t>(index);
}

int SerialConfig_File_Write(FILE* stream) {
  struct termios config {};
  if (SerialPort_GetConfig(&config) == 0) return SerialConfig_File_WriteConfig(stream, &config);
  for (std::size_t id = 0; id < rememberedValues.size(); ++id) {
    if (!rememberedValues[id]) continue;
    if (std::fprintf(stream, "%s %s\n", config_file_label[id], rememberedValues[id]->c_str()) < 0) return -1;
  }
  return 0;
}

int SerialConfig_File_WriteConfig(FILE* stream, const struct termios* config) {
  const char* values[4] = {
      SerialConfig_SpeedToLabel(SerialConfig_TermiosGetSpeed(config)),
      SerialConfig_DataBitsToLabel(SerialConfig_TermiosGetDataBits(config)),
      SerialConfig_StopBitsToLabel(SerialConfig_TermiosGetStopBits(config)),
      SerialConfig_ParityToLabel(SerialConfig_TermiosGetParity(config)),
  };
  for (std::size_t id = 0; id < 4; ++id) {
    if (std::fprintf(stream, "%s %s\n", config_file_label[id], values[id]) < 0) return -1;
  }
  return 0;
}

int SerialConfig_File_Read(std::string_view key, std::string_view rest) {
  const config_file_label_id_t id = SerialConfig_LabelId(key);
  const auto slot = static_cast<std::size_t>(id);
  if (id == CONFIG_FILE_SERIAL_NONE || slot >= rememberedValues.size()) {
    DIAGNOSTIC("Unknown settings line '%s' ignored\n", printable(key).c_str());
    return 1;
  }
  const std::string_view value = firstWord(rest);
  if (value.empty()) return 0;

  struct termios config {};
  const bool portReadable = SerialPort_GetConfig(&config) == 0;
  rememberedValues[slot] = applyValue(id, value, &config);
  if (portReadable) SerialPort_SetConfig(&config);
  return 1;
}

void SerialConfig_File_Forget() { rememberedValues = {}; }

void SerialConfig_registerWithSettingsFile() {
  configuration_setExtraLines({SerialConfig_File_Read, SerialConfig_File_Write, SerialConfig_File_Forget});
}
