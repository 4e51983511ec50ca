// RS-232 command port settings: speed, data bits, stop bits and parity, their
// termios encoding, their labels, and the four lines of the settings file that
// keep them across restarts. Flow control is never used.
#pragma once

#include <termios.h>

#include <cstdint>
#include <cstdio>
#include <string_view>

// Codes of the data bits, stop bits and parity settings.
enum data_bits_t : std::int8_t { DATA_BITS_7 = 0, DATA_BITS_8 = 1 };
enum stop_bits_t : std::int8_t { STOP_BITS_1 = 0, STOP_BITS_2 = 1 };
enum parity_t : std::int8_t { PARITY_NONE = 0, PARITY_ODD = 1, PARITY_EVEN = 2 };

// Keys of the settings-file lines, in the order they are written.
enum config_file_label_id_t {
  CONFIG_FILE_SERIAL_NONE = -1,
  CONFIG_FILE_SERIAL_SPEED = 0,
  CONFIG_FILE_SERIAL_DATA_BITS = 1,
  CONFIG_FILE_SERIAL_STOP_BITS = 2,
  CONFIG_FILE_SERIAL_PARITY = 3,
};

struct SerialSpeedEntry {
  speed_t speed;
  const char* label;
};
// The selectable speeds, in the order the settings dialog lists them.
extern const SerialSpeedEntry speed_table[6];
extern const char* const parity_table_config[3];
extern const char* const config_file_label[4];

// Termios conversions. The getters decode the flags; unsupported encodings are
// logged and read as the first code. The putters change only their own flags.
speed_t SerialConfig_TermiosGetSpeed(const struct termios* config);
void SerialConfig_TermiosPutSpeed(struct termios* config, speed_t speed);
std::int8_t SerialConfig_TermiosGetDataBits(const struct termios* config);
void SerialConfig_TermiosPutDataBits(struct termios* config, std::int8_t dataBits);
std::int8_t SerialConfig_TermiosGetStopBits(const struct termios* config);
void SerialConfig_TermiosPutStopBits(struct termios* config, std::int8_t stopBits);
std::int8_t SerialConfig_TermiosGetParity(const struct termios* config);
void SerialConfig_TermiosPutParity(struct termios* config, std::int8_t parity);

// Label conversions. Unknown values are logged and replaced: speed 2400, data
// bits 8, stop bits 2, parity "NONE".
const char* SerialConfig_SpeedToLabel(speed_t speed);
speed_t SerialConfig_LabelToSpeed(std::string_view label);
const char* SerialConfig_DataBitsToLabel(std::int8_t dataBits);
std::int8_t SerialConfig_LabelToDataBits(std::string_view label);
const char* SerialConfig_StopBitsToLabel(std::int8_t stopBits);
std::int8_t SerialConfig_LabelToStopBits(std::string_view label);
const char* SerialConfig_ParityToLabel(std::int8_t parity);
std::int8_t SerialConfig_LabelToParity(std::string_view label);

// Which settings-file key this is, or CONFIG_FILE_SERIAL_NONE.
config_file_label_id_t SerialConfig_LabelId(std::string_view key);

// Writes the four settings lines ("serialSpeed 9600" ...) from the open
// port's own settings. While the port cannot be read, the values last read
// from the settings file are written again so that they are not lost.
// Returns 0, or negative when the stream failed.
int SerialConfig_File_Write(FILE* stream);
// The four lines for the given line settings.
int SerialConfig_File_WriteConfig(FILE* stream, const struct termios* config);

// Handles one settings-file line the settings reader did not recognise: key is
// its first word, rest the text after it. A serial key applies its value (the
// next word of rest; blanks, LF and CR delimit) to the open port at once and
// returns 1; an unknown key returns 1 without effect; a serial key without a
// value is ignored and returns 0.
int SerialConfig_File_Read(std::string_view key, std::string_view rest);

// Forgets the values remembered from the settings file (for a fresh start).
void SerialConfig_File_Forget();

// Hands the three functions above to the settings file, which then keeps the
// four RS-232 lines. Called once at start-up before the file is read.
void SerialConfig_registerWithSettingsFile();
