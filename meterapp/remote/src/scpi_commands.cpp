// The meter's SCPI command table, its custom errors, and the handlers that
// need no sensor: identification, the RS-232 and LAN settings with their
// restarts, the preset and the pulse mode.
#include <cmath>
#include <cstring>
#include <string>

#include "configuration.h"
#include "network.h"
#include "pulse_sensor_config.h"
#include "scpi_handlers.h"
#include "scpi_record.h"
#include "serial_port.h"
#include "text_field.h"

namespace {

// ---- Custom errors ----

struct ScpiUserError {
  int key;
  int16_t code;
  const char* text;  // null: only used with the caller's text
};

constexpr std::array<ScpiUserError, 10> scpi_user_errors{{
    {101, -220, "The channel number is not valid"},
    {102, -220, "No sensor connected on the channel"},
    {103, -220, "The state is not valid"},
    {104, -100, "The command is not valid in CW mode."},
    {105, -100, "The command is not supported in P803 family sensors."},
    {106, -220, nullptr},
    {107, -220, "The pulse model is not valid"},
    {108, -100, "The command is not supported when using the Pulse Gate model."},
    {109, -100, "The command is not supported when using the Triggered Gate model."},
    {110, -100, "The command is not supported for C60x CW sensors."},
}};

const ScpiUserError* findUserError(int key) {
  for (const auto& row : scpi_user_errors) {
    if (row.key == key) return &row;
  }
  return nullptr;
}

// Failures of the device itself (the port, the interfaces file): one code,
// the text says what failed.
constexpr int16_t kDeviceError = -300;

// ---- RS-232 tables ----

struct TtyRow {
  tcflag_t bits;
  const char* label;
  int number;
};

struct BaudRow {
  speed_t speed;
  const char* label;
  int number;
};

constexpr std::array<BaudRow, 6> baud_table{{
    {B300, "300", 300},
    {B600, "600", 600},
    {B1200, "1200", 1200},
    {B2400, "2400", 2400},
    {B4800, "4800", 4800},
    {B9600, "9600", 9600},
}};
constexpr std::array<TtyRow, 2> csize_table{{{CS7, "7", 7}, {CS8, "8", 8}}};
constexpr std::array<TtyRow, 2> cstopb_table{{{0, "1", 1}, {CSTOPB, "2", 2}}};
// Row 0 is a placeholder so that the staged parity 0 means "not given".
constexpr std::array<TtyRow, 4> parity_table{{
    {static_cast<tcflag_t>(-1), "-", 0},
    {0, "n", 1},
    {PARENB, "e", 2},
    {PARENB | PARODD, "o", 3},
}};

template <typename Table>
auto findNumber(const Table& table, int number) -> decltype(&table[0]) {
  for (const auto& row : table) {
    if (row.number == number) return &row;
  }
  return nullptr;
}

// ---- Small helpers ----

std::string_view fieldText(const std::array<char, 16>& field) { return TextField_view(field); }

scpi_result_t replyText(scpi_t* context, std::string_view text) {
  SCPI_ResultCharacters(context, text);
  return SCPI_RES_OK;
}

// A mandatory number truncated to an integer (the RS-232 values).
bool readTruncatedNumber(scpi_t* context, int* value) {
  double number = 0.0;
  if (!SCPI_ParamDouble(context, &number, true)) return false;
  if (!std::isfinite(number) || std::fabs(number) > 1e9) {
    SCPI_ErrorPush(context, SCPI_ERROR_ILLEGAL_PARAMETER_VALUE);
    return false;
  }
  *value = static_cast<int>(std::trunc(number));
  return true;
}

bool readPortConfig(scpi_t* context, struct termios* config) {
  if (SerialPort_GetConfig(config) < 0) {
    pushCustomScpiErrorWithMsg(context, kDeviceError, "The RS-232 port settings cannot be read");
    return false;
  }
  return true;
}

bool applyPortConfig(scpi_t* context, const struct termios* config) {
  if (SerialPort_SetConfig(config) < 0) {
    pushCustomScpiErrorWithMsg(context, kDeviceError, "The RS-232 port settings cannot be applied");
    return false;
  }
  if (configuration_saveSettings() < 0) {
    pushCustomScpiErrorWithMsg(context, kDeviceError, "The settings file cannot be written");
    return false;
  }
  return true;
}

// A staged LAN text: character data or a quoted string, at most 15
// characters. Longer text is refused, never cut: a cut address can be another
// valid address.
bool readLanText(scpi_t* context, IpText* text) {
  std::array<char, 64> value{};
  std::size_t length = 0;
  bool truncated = false;
  if (!SCPI_ParamString(context, value.data(), value.size(), &length, true, &truncated)) return false;
  if (truncated || length >= text->size()) {
    SCPI_ErrorPushEx(context, SCPI_ERROR_ILLEGAL_PARAMETER_VALUE, "The address is longer than 15 characters");
    return false;
  }
  TextField_copy(*text, std::string_view(value.data(), length));
  return true;
}

enum class LanField { Address, Gateway, Mask };

scpi_result_t lanTextCommand(scpi_t* context, LanField which) {
  if (SCPI_IsQuery(context)) {
    switch (which) {
      case LanField::Address: return replyText(context, get_ip_address("eth0"));
      case LanField::Gateway: return replyText(context, get_gateway("eth0"));
      case LanField::Mask: return replyText(context, get_netmask("eth0"));
    }
  }
  IpText text{};
  const bool read = readLanText(context, &text);
  const std::string_view value = TextField_view(text);
  const bool valid = read && scpi->checkIp(value) && (which != LanField::Mask || scpi->checkNetmask(value));
  {
    std::lock_guard guard(scpi->lock);
    IpText& staged = which == LanField::Address   ? scpi->newLan.address
                     : which == LanField::Gateway ? scpi->newLan.gateway
                                                  : scpi->newLan.netmask;
    TextField_copy(staged, valid ? value : std::string_view{});
  }
  if (!valid) {
    if (read) SCPI_ErrorPush(context, SCPI_ERROR_ILLEGAL_PARAMETER_VALUE);
    return SCPI_RES_ERR;
  }
  return SCPI_RES_OK;
}

void clearStagedLan(LANCONFIG_IP_S* lan) {
  lan->address.fill('\0');
  lan->netmask.fill('\0');
  lan->gateway.fill('\0');
}

constexpr std::size_t kShortestAddress = 7;  // "1.2.3.4"

bool hasAddress(const IpText& text) { return TextField_view(text).size() >= kShortestAddress; }

// The line settings the preset gives the RS-232 port: 9600 baud 8N1.
void presetLine(struct termios* config) {
  ::cfsetispeed(config, B9600);
  ::cfsetospeed(config, B9600);
  config->c_cflag = (config->c_cflag & ~(CSIZE | CSTOPB | PARENB | PARODD)) | CS8;
}

}  // namespace

// ---- Custom error queueing ----

void pushCustomScpiError(scpi_t* context, int key) {
  const ScpiUserError* row = findUserError(key);
  if (row == nullptr) {
    SCPI_ErrorPush(context, key);
  } else if (row->text == nullptr) {
    SCPI_ErrorPush(context, row->code);
  } else {
    SCPI_ErrorPushEx(context, row->code, row->text);
  }
}

void pushCustomScpiErrorWithMsg(scpi_t* context, int key, std::string_view text) {
  const ScpiUserError* row = findUserError(key);
  SCPI_ErrorPushEx(context, row != nullptr ? row->code : key, text);
}

// ---- IEEE 488.2 and required rows ----

scpi_result_t SCPI_ClearStatusCmd(scpi_t* context) { return SCPI_CoreCls(context); }

scpi_result_t SCPI_IdentCmd(scpi_t* context) {
  SCPI_ResultCharacters(context, kScpiManufacturer);
  SCPI_ResultCharacters(context, fieldText(scpi->modelNum));
  SCPI_ResultCharacters(context, fieldText(scpi->serialNum));
  SCPI_ResultCharacters(context, TextField_view(scpi->fwVersion));
  return SCPI_RES_OK;
}

scpi_result_t SCPI_ResetCmd(scpi_t* context) { return SCPI_CoreRst(context); }

scpi_result_t My_CoreTstQ(scpi_t* context) {
  SCPI_ResultInt32(context, 0);
  return SCPI_RES_OK;
}

scpi_result_t SCPI_SystemVersion(scpi_t* context) { return SCPI_SystemVersionQ(context); }

scpi_result_t SCPI_StatusPresetCmd(scpi_t* context) { return SCPI_StatusPreset(context); }

scpi_result_t SCPI_SystemIdentifyModel(scpi_t* context) { return replyText(context, fieldText(scpi->modelNum)); }

scpi_result_t SCPI_SystemIdentifySerial(scpi_t* context) { return replyText(context, fieldText(scpi->serialNum)); }

scpi_result_t SCPI_SystemIdentifyFirmware(scpi_t* context) {
  return replyText(context, TextField_view(scpi->fwVersion));
}

// ---- RS-232 ----

scpi_result_t SCPI_SystemCommRs232Baud(scpi_t* context) {
  struct termios config {};
  if (SCPI_IsQuery(context)) {
    if (!readPortConfig(context, &config)) return SCPI_RES_ERR;
    const speed_t speed = ::cfgetispeed(&config);
    for (const auto& row : baud_table) {
      if (row.speed == speed) {
        SCPI_ResultInt32(context, row.number);
        return SCPI_RES_OK;
      }
    }
    SCPI_ResultInt32(context, 0);  // a speed the meter never sets
    return SCPI_RES_OK;
  }
  int number = 0;
  if (!readTruncatedNumber(context, &number)) return SCPI_RES_ERR;
  const BaudRow* row = findNumber(baud_table, number);
  std::lock_guard guard(scpi->lock);
  scpi->newTty.speed = row != nullptr ? row->number : 0;
  scpi->newTtyBits.speed = row != nullptr ? row->speed : 0;
  if (row == nullptr) {
    SCPI_ErrorPush(context, SCPI_ERROR_ILLEGAL_PARAMETER_VALUE);
    return SCPI_RES_ERR;
  }
  return SCPI_RES_OK;
}

scpi_result_t SCPI_SystemCommRs232Length(scpi_t* context) {
  struct termios config {};
  if (SCPI_IsQuery(context)) {
    if (!readPortConfig(context, &config)) return SCPI_RES_ERR;
    SCPI_ResultInt32(context, (config.c_cflag & CSIZE) == CS7 ? 7 : 8);
    return SCPI_RES_OK;
  }
  int number = 0;
  if (!readTruncatedNumber(context, &number)) return SCPI_RES_ERR;
  const TtyRow* row = findNumber(csize_table, number);
  if (row == nullptr) {
    SCPI_ErrorPush(context, SCPI_ERROR_ILLEGAL_PARAMETER_VALUE);
    return SCPI_RES_ERR;
  }
  std::lock_guard guard(scpi->lock);
  scpi->newTty.size = row->number;
  scpi->newTtyBits.size = row->bits;
  return SCPI_RES_OK;
}

scpi_result_t SCPI_SystemCommRs232Stopbits(scpi_t* context) {
  struct termios config {};
  if (SCPI_IsQuery(context)) {
    if (!readPortConfig(context, &config)) return SCPI_RES_ERR;
    SCPI_ResultInt32(context, (config.c_cflag & CSTOPB) != 0 ? 2 : 1);
    return SCPI_RES_OK;
  }
  int number = 0;
  if (!readTruncatedNumber(context, &number)) return SCPI_RES_ERR;
  const TtyRow* row = findNumber(cstopb_table, number);
  if (row == nullptr) {
    SCPI_ErrorPush(context, SCPI_ERROR_ILLEGAL_PARAMETER_VALUE);
    return SCPI_RES_ERR;
  }
  std::lock_guard guard(scpi->lock);
  scpi->newTty.stopb = row->number;
  scpi->newTtyBits.stopb = row->bits;
  return SCPI_RES_OK;
}

scpi_result_t SCPI_SystemCommRs232Parity(scpi_t* context) {
  struct termios config {};
  if (SCPI_IsQuery(context)) {
    if (!readPortConfig(context, &config)) return SCPI_RES_ERR;
    const tcflag_t bits = config.c_cflag & (PARENB | PARODD);
    return replyText(context, (bits & PARENB) == 0 ? "n" : (bits & PARODD) != 0 ? "o" : "e");
  }
  std::string_view text;
  if (!SCPI_ParamCharacters(context, &text, true)) return SCPI_RES_ERR;
  const TtyRow* row = nullptr;
  if (text.size() == 1) {
    const char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    for (std::size_t i = 1; i < parity_table.size(); ++i) {
      if (parity_table[i].label[0] == letter) row = &parity_table[i];
    }
  }
  if (row == nullptr) {
    SCPI_ErrorPush(context, SCPI_ERROR_ILLEGAL_PARAMETER_VALUE);
    return SCPI_RES_ERR;
  }
  std::lock_guard guard(scpi->lock);
  scpi->newTty.parity = row->number;
  scpi->newTtyBits.parity = row->bits;
  return SCPI_RES_OK;
}

scpi_result_t SCPI_SystemCommRs232Flowcontrol(scpi_t* context) { return replyText(context, "none"); }

scpi_result_t SCPI_SystemCommRs232Restart(scpi_t* context) {
  TTY_CONFIG_S staged;
  TTY_CONFIG_BITS_S bits;
  {
    std::lock_guard guard(scpi->lock);
    staged = scpi->newTty;
    bits = scpi->newTtyBits;
  }
  // The staged values stay when the port cannot be read or set, so that the
  // client can retry; an unread configuration is never applied.
  struct termios config {};
  if (!readPortConfig(context, &config)) return SCPI_RES_ERR;
  if (staged.speed != 0) {
    ::cfsetispeed(&config, bits.speed);
    ::cfsetospeed(&config, bits.speed);
  }
  if (staged.size != 0) config.c_cflag = (config.c_cflag & ~CSIZE) | bits.size;
  if (staged.stopb != 0) config.c_cflag = (config.c_cflag & ~CSTOPB) | bits.stopb;
  if (staged.parity != 0) config.c_cflag = (config.c_cflag & ~(PARENB | PARODD)) | bits.parity;
  if (SerialPort_SetConfig(&config) < 0) {
    pushCustomScpiErrorWithMsg(context, kDeviceError, "The RS-232 port settings cannot be applied");
    return SCPI_RES_ERR;
  }
  {
    std::lock_guard guard(scpi->lock);
    scpi->newTty = {};
    scpi->newTtyBits = {};
  }
  if (configuration_saveSettings() < 0) {
    pushCustomScpiErrorWithMsg(context, kDeviceError, "The settings file cannot be written");
    return SCPI_RES_ERR;
  }
  return SCPI_RES_OK;
}

// ---- LAN ----

scpi_result_t SCPI_SystemCommLanAddress(scpi_t* context) { return lanTextCommand(context, LanField::Address); }

scpi_result_t SCPI_SystemCommLanGateway(scpi_t* context) { return lanTextCommand(context, LanField::Gateway); }

scpi_result_t SCPI_SystemCommLanMask(scpi_t* context) { return lanTextCommand(context, LanField::Mask); }

scpi_result_t SCPI_SystemCommLanDhcpState(scpi_t* context) {
  if (SCPI_IsQuery(context)) {
    int method = INET_METHOD_UNKNOWN;
    IpText address{}, netmask{}, gateway{};
    if (get_conf_inet("eth0", method, address, netmask, gateway) != 0) {
      pushCustomScpiErrorWithMsg(context, kDeviceError, "The interfaces file cannot be read");
      return SCPI_RES_ERR;
    }
    SCPI_ResultInt32(context, method == INET_METHOD_DHCP ? 1 : 0);
    return SCPI_RES_OK;
  }
  double value = 0.0;
  if (!SCPI_ParamDouble(context, &value, true)) return SCPI_RES_ERR;
  if (value != 0.0 && value != 1.0) {
    SCPI_ErrorPush(context, SCPI_ERROR_ILLEGAL_PARAMETER_VALUE);
    return SCPI_RES_ERR;
  }
  std::lock_guard guard(scpi->lock);
  scpi->newLan.method = value == 1.0 ? INET_METHOD_DHCP : INET_METHOD_STATIC;
  return SCPI_RES_OK;
}

scpi_result_t SCPI_SystemCommLanMac(scpi_t* context) { return replyText(context, get_mac_address("eth0")); }

scpi_result_t SCPI_SystemCommLanRestart(scpi_t* context) {
  LANCONFIG_IP_S staged;
  {
    std::lock_guard guard(scpi->lock);
    staged = scpi->newLan;
  }
  int method = INET_METHOD_UNKNOWN;
  IpText address{}, netmask{}, gateway{};
  if (get_conf_inet("eth0", method, address, netmask, gateway) != 0) {
    pushCustomScpiErrorWithMsg(context, kDeviceError, "The interfaces file cannot be read");
    return SCPI_RES_ERR;
  }
  LANCONFIG_IP_S next;
  next.method = staged.method;
  bool apply = false;
  if (staged.method == INET_METHOD_DHCP) {
    apply = true;
  } else if (staged.method == INET_METHOD_STATIC && !hasAddress(staged.address)) {
    if (hasAddress(address)) {
      apply = true;
      next.address = address;
      next.netmask = hasAddress(staged.netmask) ? staged.netmask : hasAddress(netmask) ? netmask : IpText{};
    }
  } else if (staged.method == INET_METHOD_STATIC) {
    apply = true;
    next.address = staged.address;
    next.netmask = staged.netmask;
  }
  if (apply && next.method == INET_METHOD_STATIC && !hasAddress(next.netmask)) {
    TextField_copy(next.netmask, "255.255.255.0");
  }
  if (!apply) {
    {
      std::lock_guard guard(scpi->lock);
      clearStagedLan(&scpi->newLan);
      scpi->newLan.method = INET_METHOD_DHCP;
    }
    SCPI_ErrorPushEx(context, SCPI_ERROR_ILLEGAL_PARAMETER_VALUE, "No static address to apply");
    return SCPI_RES_ERR;
  }
  next.gateway = hasAddress(staged.gateway) ? staged.gateway : hasAddress(gateway) ? gateway : IpText{};
  const bool dhcp = next.method == INET_METHOD_DHCP;
  if (set_conf_inet("eth0", next.method, dhcp ? "" : TextField_view(next.address),
                    dhcp ? "" : TextField_view(next.netmask), dhcp ? "" : TextField_view(next.gateway)) != 0) {
    // Nothing changed on the device: keep what the client staged.
    pushCustomScpiErrorWithMsg(context, kDeviceError, "The interfaces file cannot be written");
    return SCPI_RES_ERR;
  }
  network_restart();
  std::lock_guard guard(scpi->lock);
  clearStagedLan(&scpi->newLan);
  return SCPI_RES_OK;
}

// ---- Preset and pulse mode ----

scpi_result_t SCPI_SystemPreset(scpi_t* context) {
  bool ok = true;
  struct termios config {};
  if (readPortConfig(context, &config)) {
    presetLine(&config);
    ok = applyPortConfig(context, &config) && ok;
  } else {
    ok = false;
  }
  if (ok) {
    std::lock_guard guard(scpi->lock);
    scpi->newTty = {};
    scpi->newTtyBits = {};
  }
  if (set_conf_inet("eth0", INET_METHOD_DHCP, "", "", "") != 0) {
    pushCustomScpiErrorWithMsg(context, kDeviceError, "The interfaces file cannot be written");
    ok = false;
  } else {
    network_restart();
    std::lock_guard guard(scpi->lock);
    clearStagedLan(&scpi->newLan);
    scpi->newLan.method = INET_METHOD_DHCP;
  }
  sensorPortHandler_presetSensorConfig();
  return ok ? SCPI_RES_OK : SCPI_RES_ERR;
}

scpi_result_t SCPI_SystemPulseEnable(scpi_t* context) {
  std::string_view text;
  if (!SCPI_ParamTextToEnd(context, &text, true)) {
    SCPI_ErrorPush(context, SCPI_ERROR_MISSING_PARAMETER);
    return SCPI_RES_ERR;
  }
  // The value is the text up to the first comma, blank or line end.
  text = text.substr(0, text.find_first_of(", \r\n"));
  std::string upper(text);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  bool on = false;
  if (upper == "ON" || upper == "1") {
    on = true;
  } else if (upper == "OFF" || upper == "0") {
    on = false;
  } else {
    char* end = nullptr;
    const double value = std::strtod(upper.c_str(), &end);
    if (upper.empty() || end != upper.c_str() + upper.size() || !std::isfinite(value)) {
      SCPI_ErrorPush(context, SCPI_ERROR_PARAMETER_ERROR);
      return SCPI_RES_ERR;
    }
    if (value < 0) {
      pushCustomScpiError(context, 103);
      return SCPI_RES_ERR;
    }
    on = std::lround(value) != 0;
  }
  configuration_setPulseMode(on);
  return SCPI_RES_OK;
}

scpi_result_t SCPI_SystemPulseEnableQ(scpi_t* context) {
  SCPI_ResultInt32(context, configuration_getPulseMode() ? 1 : 0);
  return SCPI_RES_OK;
}

// ---- The table ----

const scpi_command_t scpi_commands[] = {
    {"*CLS", SCPI_ClearStatusCmd, 0},
    {"*ESE", SCPI_CoreEse, 0},
    {"*ESE?", SCPI_CoreEseQ, 0},
    {"*ESR?", SCPI_CoreEsrQ, 0},
    {"*IDN?", SCPI_IdentCmd, 0},
    {"*OPC", SCPI_CoreOpc, 0},
    {"*OPC?", SCPI_CoreOpcQ, 0},
    {"*RST", SCPI_ResetCmd, 0},
    {"*SRE", SCPI_CoreSre, 0},
    {"*SRE?", SCPI_CoreSreQ, 0},
    {"*STB?", SCPI_CoreStbQ, 0},
    {"*TST?", My_CoreTstQ, 0},
    {"*WAI", SCPI_CoreWai, 0},
    {"SYSTem:ERRor[:NEXT]?", SCPI_SystemErrorNextQ, 0},
    {"SYSTem:ERRor:COUNt?", SCPI_SystemErrorCountQ, 0},
    {"SYSTem:VERSion?", SCPI_SystemVersion, 0},
    {"STATus:QUEStionable[:EVENt]?", SCPI_StatusQuestionableEventQ, 0},
    {"STATus:QUEStionable:ENABle", SCPI_StatusQuestionableEnable, 0},
    {"STATus:QUEStionable:ENABle?", SCPI_StatusQuestionableEnableQ, 0},
    {"STATus:PRESet", SCPI_StatusPresetCmd, 0},
    {"MEASure[:SCALar]:TEMPerature?", SCPI_MeasureTemperatureQ, 0},
    {"MEASure[:SCALar][:POWer]:FREQuency?", SCPI_MeasurePowerFreqQ, 0},
    {"MEASure[:SCALar][:POWer]:DCYCle?", SCPI_MeasurePowerPulseQ, 0},
    {"MEASure[:SCALar][:POWer]:PERiod?", SCPI_MeasurePowerPulseQ, 0},
    {"MEASure[:SCALar][:POWer]:PRF?", SCPI_MeasurePowerPulseQ, 0},
    {"MEASure[:SCALar][:POWer]:WIDTh?", SCPI_MeasurePowerPulseQ, 0},
    {"MEASure[:SCALar][:POWer][:FORWard]:AVERage?", SCPI_MeasurePowerAverageQ, 0},
    {"MEASure[:SCALar][:POWer]:REFLected:AVERage?", SCPI_MeasurePowerAverageQ, 0},
    {"MEASure[:SCALar][:POWer]:GATE:MAXimum?", SCPI_MeasurePowerGateQ, 0},
    {"MEASure[:SCALar][:POWer]:GATE[:MEAN]?", SCPI_MeasurePowerGateQ, 0},
    {"MEASure[:SCALar][:POWer]:GATE:MINimum?", SCPI_MeasurePowerGateQ, 0},
    {"MEASure[:SCALar][:POWer]:STATe1[:MEAN]?", SCPI_MeasurePowerStateQ, 0},
    {"MEASure[:SCALar][:POWer]:STATe2[:MEAN]?", SCPI_MeasurePowerStateQ, 0},
    {"MEASure[:SCALar][:POWer]:STATe3[:MEAN]?", SCPI_MeasurePowerStateQ, 0},
    {"MEASure[:SCALar][:POWer]:STATe4[:MEAN]?", SCPI_MeasurePowerStateQ, 0},
    {"MEASure[:SCALar][:POWer]:STAT1[:MEAN]?", SCPI_MeasurePowerStateQ, 0},
    {"MEASure[:SCALar][:POWer]:STAT2[:MEAN]?", SCPI_MeasurePowerStateQ, 0},
    {"MEASure[:SCALar][:POWer]:STAT3[:MEAN]?", SCPI_MeasurePowerStateQ, 0},
    {"MEASure[:SCALar][:POWer]:STAT4[:MEAN]?", SCPI_MeasurePowerStateQ, 0},
    {"MEASure[:SCALar][:POWer]:STATe1:MAXimum?", SCPI_MeasurePowerStateQ, 0},
    {"MEASure[:SCALar][:POWer]:STATe2:MAXimum?", SCPI_MeasurePowerStateQ, 0},
    {"MEASure[:SCALar][:POWer]:STATe3:MAXimum?", SCPI_MeasurePowerStateQ, 0},
    {"MEASure[:SCALar][:POWer]:STATe4:MAXimum?", SCPI_MeasurePowerStateQ, 0},
    {"MEASure[:SCALar][:POWer]:STAT1:MAXimum?", SCPI_MeasurePowerStateQ, 0},
    {"MEASure[:SCALar][:POWer]:STAT2:MAXimum?", SCPI_MeasurePowerStateQ, 0},
    {"MEASure[:SCALar][:POWer]:STAT3:MAXimum?", SCPI_MeasurePowerStateQ, 0},
    {"MEASure[:SCALar][:POWer]:STAT4:MAXimum?", SCPI_MeasurePowerStateQ, 0},
    {"MEASure[:SCALar][:POWer]:STATe1:MINimum?", SCPI_MeasurePowerStateQ, 0},
    {"MEASure[:SCALar][:POWer]:STATe2:MINimum?", SCPI_MeasurePowerStateQ, 0},
    {"MEASure[:SCALar][:POWer]:STATe3:MINimum?", SCPI_MeasurePowerStateQ, 0},
    {"MEASure[:SCALar][:POWer]:STATe4:MINimum?", SCPI_MeasurePowerStateQ, 0},
    {"MEASure[:SCALar][:POWer]:STAT1:MINimum?", SCPI_MeasurePowerStateQ, 0},
    {"MEASure[:SCALar][:POWer]:STAT2:MINimum?", SCPI_MeasurePowerStateQ, 0},
    {"MEASure[:SCALar][:POWer]:STAT3:MINimum?", SCPI_MeasurePowerStateQ, 0},
    {"MEASure[:SCALar][:POWer]:STAT4:MINimum?", SCPI_MeasurePowerStateQ, 0},
    {"CALCulate:PULSe[:MODel]", SCPI_CalculatePulseModel, 0},
    {"CALCulate:PULSe[:MODel]?", SCPI_CalculatePulseModelQ, 0},
    {"CALCulate:STATe1:ENABle?", SCPI_CalculateStateEnableQ, 0},
    {"CALCulate:STATe1:ENABle", SCPI_CalculateStateEnable, 0},
    {"CALCulate:STAT1:ENABle?", SCPI_CalculateStateEnableQ, 0},
    {"CALCulate:STAT1:ENABle", SCPI_CalculateStateEnable, 0},
    {"CALCulate:STATe2:ENABle?", SCPI_CalculateStateEnableQ, 0},
    {"CALCulate:STATe2:ENABle", SCPI_CalculateStateEnable, 0},
    {"CALCulate:STAT2:ENABle?", SCPI_CalculateStateEnableQ, 0},
    {"CALCulate:STAT2:ENABle", SCPI_CalculateStateEnable, 0},
    {"CALCulate:STATe3:ENABle?", SCPI_CalculateStateEnableQ, 0},
    {"CALCulate:STATe3:ENABle", SCPI_CalculateStateEnable, 0},
    {"CALCulate:STAT3:ENABle?", SCPI_CalculateStateEnableQ, 0},
    {"CALCulate:STAT3:ENABle", SCPI_CalculateStateEnable, 0},
    {"CALCulate:STATe4:ENABle?", SCPI_CalculateStateEnableQ, 0},
    {"CALCulate:STATe4:ENABle", SCPI_CalculateStateEnable, 0},
    {"CALCulate:STAT4:ENABle?", SCPI_CalculateStateEnableQ, 0},
    {"CALCulate:STAT4:ENABle", SCPI_CalculateStateEnable, 0},
    {"CALCulate:STATe1:BEGin[:Delay]?", SCPI_CalculateStateDelayQ, 0},
    {"CALCulate:STATe1:BEGin[:Delay]", SCPI_CalculateStateDelay, 0},
    {"CALCulate:STAT1:BEGin[:Delay]?", SCPI_CalculateStateDelayQ, 0},
    {"CALCulate:STAT1:BEGin[:Delay]", SCPI_CalculateStateDelay, 0},
    {"CALCulate:STATe2:BEGin[:Delay]?", SCPI_CalculateStateDelayQ, 0},
    {"CALCulate:STATe2:BEGin[:Delay]", SCPI_CalculateStateDelay, 0},
    {"CALCulate:STAT2:BEGin[:Delay]?", SCPI_CalculateStateDelayQ, 0},
    {"CALCulate:STAT2:BEGin[:Delay]", SCPI_CalculateStateDelay, 0},
    {"CALCulate:STATe3:BEGin[:Delay]?", SCPI_CalculateStateDelayQ, 0},
    {"CALCulate:STATe3:BEGin[:Delay]", SCPI_CalculateStateDelay, 0},
    {"CALCulate:STAT3:BEGin[:Delay]?", SCPI_CalculateStateDelayQ, 0},
    {"CALCulate:STAT3:BEGin[:Delay]", SCPI_CalculateStateDelay, 0},
    {"CALCulate:STATe4:BEGin[:Delay]?", SCPI_CalculateStateDelayQ, 0},
    {"CALCulate:STATe4:BEGin[:Delay]", SCPI_CalculateStateDelay, 0},
    {"CALCulate:STAT4:BEGin[:Delay]?", SCPI_CalculateStateDelayQ, 0},
    {"CALCulate:STAT4:BEGin[:Delay]", SCPI_CalculateStateDelay, 0},
    {"CALCulate:STATe1:END[:Delay]?", SCPI_CalculateStateDelayQ, 0},
    {"CALCulate:STATe1:END[:Delay]", SCPI_CalculateStateDelay, 0},
    {"CALCulate:STAT1:END[:Delay]?", SCPI_CalculateStateDelayQ, 0},
    {"CALCulate:STAT1:END[:Delay]", SCPI_CalculateStateDelay, 0},
    {"CALCulate:STATe2:END[:Delay]?", SCPI_CalculateStateDelayQ, 0},
    {"CALCulate:STATe2:END[:Delay]", SCPI_CalculateStateDelay, 0},
    {"CALCulate:STAT2:END[:Delay]?", SCPI_CalculateStateDelayQ, 0},
    {"CALCulate:STAT2:END[:Delay]", SCPI_CalculateStateDelay, 0},
    {"CALCulate:STATe3:END[:Delay]?", SCPI_CalculateStateDelayQ, 0},
    {"CALCulate:STATe3:END[:Delay]", SCPI_CalculateStateDelay, 0},
    {"CALCulate:STAT3:END[:Delay]?", SCPI_CalculateStateDelayQ, 0},
    {"CALCulate:STAT3:END[:Delay]", SCPI_CalculateStateDelay, 0},
    {"CALCulate:STATe4:END[:Delay]?", SCPI_CalculateStateDelayQ, 0},
    {"CALCulate:STATe4:END[:Delay]", SCPI_CalculateStateDelay, 0},
    {"CALCulate:STAT4:END[:Delay]?", SCPI_CalculateStateDelayQ, 0},
    {"CALCulate:STAT4:END[:Delay]", SCPI_CalculateStateDelay, 0},
    {"CALCulate:GATE:BEGin[:DELay]?", SCPI_CalculateGateDelayQ, 0},
    {"CALCulate:GATE:BEGin[:DELay]", SCPI_CalculateGateDelay, 0},
    {"CALCulate:GATE:END[:DELay]?", SCPI_CalculateGateDelayQ, 0},
    {"CALCulate:GATE:END[:DELay]", SCPI_CalculateGateDelay, 0},
    {"SENSe:FREQuency:AUTO?", SCPI_SenseFrequencyAutoQ, 0},
    {"SENSe:FREQuency:AUTO", SCPI_SenseFrequencyAuto, 0},
    {"SENSe:FREQuency?", SCPI_SenseFrequencyQ, 0},
    {"SENSe:FREQuency", SCPI_SenseFrequency, 0},
    {"SENSe:PERiod:AUTO?", SCPI_SensePeriodAutoQ, 0},
    {"SENSe:PERiod:AUTO", SCPI_SensePeriodAuto, 0},
    {"SENSe:PERiod?", SCPI_SensePeriodQ, 0},
    {"SENSe:PERiod", SCPI_SensePeriod, 0},
    {"TRIGger:LEVel:AUTO?", SCPI_TriggerLevelAutoQ, 0},
    {"TRIGger:LEVel:AUTO", SCPI_TriggerLevelAuto, 0},
    {"TRIGger:LEVel?", SCPI_TriggerLevelQ, 0},
    {"TRIGger:LEVel", SCPI_TriggerLevel, 0},
    {"TRIGger:SLOPe?", SCPI_TriggerSlopeQ, 0},
    {"TRIGger:SLOPe", SCPI_TriggerSlope, 0},
    {"TRIGger:DELay?", SCPI_TriggerDelayQ, 0},
    {"TRIGger:DELay", SCPI_TriggerDelay, 0},
    {"SYSTem:IDENtity[:R9050][:MODel]?", SCPI_SystemIdentifyModel, 0},
    {"SYSTem:IDENtity[:R9050]:SN?", SCPI_SystemIdentifySerial, 0},
    {"SYSTem:IDENtity[:R9050]:FWRev?", SCPI_SystemIdentifyFirmware, 0},
    {"SYSTem:IDENtity:SENSor[:MODel]?", SCPI_SystemIdentifySensorModel, 0},
    {"SYSTem:IDENtity:SENSor:SN?", SCPI_SystemIdentifySensorSerial, 0},
    {"SYSTem:IDENtity:SENSor:FWRev?", SCPI_SystemIdentifySensorFirmware, 0},
    {"SYSTem:COMMunicate:RS232:BAUD?", SCPI_SystemCommRs232Baud, 0},
    {"SYSTem:COMMunicate:RS232:BAUD", SCPI_SystemCommRs232Baud, 0},
    {"SYSTem:COMMunicate:RS232:LENGTH?", SCPI_SystemCommRs232Length, 0},
    {"SYSTem:COMMunicate:RS232:LENGTH", SCPI_SystemCommRs232Length, 0},
    {"SYSTem:COMMunicate:RS232:STOPbits?", SCPI_SystemCommRs232Stopbits, 0},
    {"SYSTem:COMMunicate:RS232:STOPbits", SCPI_SystemCommRs232Stopbits, 0},
    {"SYSTem:COMMunicate:RS232:PARity?", SCPI_SystemCommRs232Parity, 0},
    {"SYSTem:COMMunicate:RS232:PARity", SCPI_SystemCommRs232Parity, 0},
    {"SYSTem:COMMunicate:RS232:FLOWcontrol?", SCPI_SystemCommRs232Flowcontrol, 0},
    {"SYSTem:COMMunicate:RS232:RESTart", SCPI_SystemCommRs232Restart, 0},
    {"SYSTem:COMMunicate:LAN:ADDRess?", SCPI_SystemCommLanAddress, 0},
    {"SYSTem:COMMunicate:LAN:ADDRess", SCPI_SystemCommLanAddress, 0},
    {"SYSTem:COMMunicate:LAN:GATeway?", SCPI_SystemCommLanGateway, 0},
    {"SYSTem:COMMunicate:LAN:GATeway", SCPI_SystemCommLanGateway, 0},
    {"SYSTem:COMMunicate:LAN:MASk?", SCPI_SystemCommLanMask, 0},
    {"SYSTem:COMMunicate:LAN:MASk", SCPI_SystemCommLanMask, 0},
    {"SYSTem:COMMunicate:LAN:DHCP[:STATe]?", SCPI_SystemCommLanDhcpState, 0},
    {"SYSTem:COMMunicate:LAN:DHCP[:STATe]", SCPI_SystemCommLanDhcpState, 0},
    {"SYSTem:COMMunicate:LAN:MAC?", SCPI_SystemCommLanMac, 0},
    {"SYSTem:COMMunicate:LAN:RESTart", SCPI_SystemCommLanRestart, 0},
    {"SYSTem:PRESet", SCPI_SystemPreset, 0},
    {"SYSTem:PULSe[:ENABle]", SCPI_SystemPulseEnable, 0},
    {"SYSTem:PULSe[:ENABle]?", SCPI_SystemPulseEnableQ, 0},
    {"SYSTem:PULSe:CONFig[:SYNCronize]", SCPI_SystemPulseConfigSync, 0},
    {"SYSTem:PULSe:CONFig:COMMit", SCPI_SystemPulseConfigCommit, 0},
    SCPI_CMD_LIST_END,
};

std::size_t scpiCommandCount() { return std::size(scpi_commands) - 1; }
