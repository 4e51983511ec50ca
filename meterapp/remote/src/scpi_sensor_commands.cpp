// The command rows that answer from a sensor: the measurement queries (from
// the copy the display pass pushes), the staged pulse configuration
// (CALCulate, SENSe, TRIGger) with its COMMit and synchronisation, and the
// sensor's identity.
//
// Every handler reads its parameters first, then takes the record's lock for
// the channel check, the preconditions and the read or edit of the staged
// configuration, and writes its reply after letting go of the lock. COMMit
// lets go of it while it waits for the sensor.
#include <array>
#include <string_view>

#include "scpi_handlers.h"
#include "scpi_record.h"
#include "scpi_values.h"
#include "text_field.h"

namespace {

// The preconditions of a row, written as in the command table: "MST".
constexpr PulseSensorConditions needs(std::string_view letters) {
  PulseSensorConditions c;
  for (const char letter : letters) {
    if (letter == 'M') c.bPulseMode = true;
    if (letter == 'S') c.bPulseSensor = true;
    if (letter == 'T') c.bP804 = true;
    if (letter == 'P') c.bPulseGate = true;
    if (letter == 'G') c.bTriggeredGate = true;
  }
  return c;
}

constexpr int kToMega = -6;   // Hz -> MHz
constexpr int kToMicro = 6;   // s -> microseconds

// The header being executed, in upper case, for the keyword search of the
// handlers that serve several patterns. The header alone (after path
// completion) is searched: neither a parameter nor another unit of the same
// message can change which variant runs.
struct Header {
  std::array<char, 256> text{};
  std::size_t length = 0;
  explicit Header(const scpi_t* context) {
    for (const char c : SCPI_CommandHeader(context)) {
      if (length == text.size()) break;
      text[length++] = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    }
  }
  std::string_view view() const { return {text.data(), length}; }
  bool has(std::string_view keyword) const { return view().find(keyword) != std::string_view::npos; }
};

// The state a STATe n row addresses (0 to 3): the first header part with
// "STAT" and one of the digits 1 to 4 decides; state 1 when there is none
// ("MEAS:STAT?" is the short form of STATe1).
std::size_t getTiggeredGateIndex(const Header& header) {
  std::string_view rest = header.view();
  while (!rest.empty()) {
    const std::size_t end = rest.find_first_of(":?");
    const std::string_view part = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
    if (part.find("STAT") == std::string_view::npos) continue;
    for (const char digit : {'1', '2', '3', '4'}) {
      if (part.find(digit) != std::string_view::npos) return static_cast<std::size_t>(digit - '1');
    }
  }
  return 0;
}

// A measurement query on a channel whose sensor is not measuring yet (or
// any more) answers "not a number" together with -230, so that a client
// neither waits for ever nor takes an old value for a new one. The error
// goes with the reply rather than replacing it.
void answerStale(scpi_t* context) {
  SCPI_ResultSensorFloat(context, kSensorNaN);
  SCPI_ErrorPushWithReply(context, -230, "The sensor on the channel is not measuring");
}

struct Reading {
  float value;
  int pow10 = 0;
};

template <typename Pick>
scpi_result_t measure(scpi_t* context, const PulseSensorConditions& conditions, Pick pick) {
  int channel = 1;
  if (!SCPI_ReadChannelParameter(context, &channel)) return SCPI_RES_ERR;
  const int index = channel - 1;
  SENSOR_MEASUREMENTS copy;
  bool fresh = false;
  {
    std::lock_guard guard(scpi->lock);
    if (!SCPI_IsChannelValid(context, index) || !SCPI_CheckConditions(context, conditions, index)) {
      return SCPI_RES_ERR;
    }
    const ScpiMeasurementCopy& owner = scpi->measurementOwner[static_cast<std::size_t>(index)];
    fresh = owner.valid && owner.owner.ready;
    copy = scpi->measurements[static_cast<std::size_t>(index)];
  }
  if (!fresh) {
    answerStale(context);
    return SCPI_RES_OK;
  }
  const Reading reading = pick(copy);
  SCPI_ResultSensorFloat(context, reading.value, reading.pow10);
  return SCPI_RES_OK;
}

// A query of the staged configuration: `reply` writes the result from a
// copy taken under the lock.
template <typename Reply>
scpi_result_t stagedQuery(scpi_t* context, const PulseSensorConditions& conditions, Reply reply) {
  int channel = 1;
  if (!SCPI_ReadChannelParameter(context, &channel)) return SCPI_RES_ERR;
  const int index = channel - 1;
  SENSOR_CONFIGS staged;
  {
    std::lock_guard guard(scpi->lock);
    if (!SCPI_IsChannelValid(context, index) || !SCPI_CheckConditions(context, conditions, index)) {
      return SCPI_RES_ERR;
    }
    staged = scpi->configs[static_cast<std::size_t>(index)].config;
  }
  reply(staged);
  return SCPI_RES_OK;
}

template <typename T>
bool assign(T& field, T value) {
  if (field == value) return false;
  field = value;
  return true;
}

// A set command on the staged configuration: the value, then the channel,
// then the preconditions; the field is written (and the staging marked
// modified) only when the value differs. Nothing reaches the sensor here.
template <typename Value, typename Edit>
scpi_result_t stagedEdit(scpi_t* context, const PulseSensorConditions& conditions,
                         bool (*readValue)(scpi_t*, Value*), Edit edit) {
  Value value{};
  if (!readValue(context, &value)) return SCPI_RES_ERR;
  int channel = 1;
  if (!SCPI_ReadChannelParameter(context, &channel)) return SCPI_RES_ERR;
  const int index = channel - 1;
  std::lock_guard guard(scpi->lock);
  if (!SCPI_IsChannelValid(context, index) || !SCPI_CheckConditions(context, conditions, index)) {
    return SCPI_RES_ERR;
  }
  scpi_sensor_config& staged = scpi->configs[static_cast<std::size_t>(index)];
  if (edit(staged.config, value)) {
    staged.state = Modified;
    ++staged.revision;
  }
  return SCPI_RES_OK;
}

void replyBool(scpi_t* context, bool value) { SCPI_ResultInt32(context, value ? 1 : 0); }

// The sensor's identity texts of the addressed channel.
template <typename Field>
scpi_result_t sensorIdentity(scpi_t* context, Field field) {
  int channel = 1;
  if (!SCPI_ReadChannelParameter(context, &channel)) return SCPI_RES_ERR;
  int port = sensorPort_None;
  {
    std::lock_guard guard(scpi->lock);
    if (!SCPI_IsChannelValid(context, channel - 1)) return SCPI_RES_ERR;
    port = static_cast<int>(scpi->sensor[static_cast<std::size_t>(channel - 1)].index);
  }
  const SENSOR_INFORMATION_DATA information = sensorPortHandler_getSensorInformation(port);
  SCPI_ResultCharacters(context, field(information));
  return SCPI_RES_OK;
}

// Moves the enabled states to the front, keeping their order: with states 1
// and 3 enabled, state 3 becomes the second and the third is left disabled.
void compactStates(SENSOR_CONFIGS& config) {
  int enabled = 0;
  for (const PULSE_STATE_INTVL& state : config.pulseStates) enabled += state.bEnabled ? 1 : 0;
  config.numStates = static_cast<std::uint8_t>(enabled);
  if (enabled >= kPulseStateCount) return;
  for (std::size_t i = 0; i < static_cast<std::size_t>(enabled); ++i) {
    if (config.pulseStates[i].bEnabled) continue;
    for (std::size_t j = i + 1; j < config.pulseStates.size(); ++j) {
      if (!config.pulseStates[j].bEnabled) continue;
      config.pulseStates[i] = config.pulseStates[j];
      config.pulseStates[j].bEnabled = false;
      break;
    }
  }
}

}  // namespace

// ---- Measurements ----

scpi_result_t SCPI_MeasureTemperatureQ(scpi_t* context) {
  return measure(context, needs(""), [](const SENSOR_MEASUREMENTS& m) { return Reading{m.temperatureVal}; });
}

scpi_result_t SCPI_MeasurePowerFreqQ(scpi_t* context) {
  return measure(context, needs(""), [](const SENSOR_MEASUREMENTS& m) { return Reading{m.freqVal, kToMega}; });
}

scpi_result_t SCPI_MeasurePowerPulseQ(scpi_t* context) {
  const Header header(context);
  return measure(context, needs("MSP"), [&header](const SENSOR_MEASUREMENTS& m) {
    if (header.has("DCYC")) return Reading{m.dutyCycleVal};
    if (header.has("PER")) return Reading{m.prdVal, kToMicro};
    if (header.has("PRF")) return Reading{m.prfVal};
    return Reading{m.widthVal, kToMicro};
  });
}

scpi_result_t SCPI_MeasurePowerAverageQ(scpi_t* context) {
  const bool reflected = Header(context).has("REFL");
  return measure(context, needs(""), [reflected](const SENSOR_MEASUREMENTS& m) {
    return Reading{reflected ? m.rflPwrVal : m.fwdPwrVal};
  });
}

scpi_result_t SCPI_MeasurePowerGateQ(scpi_t* context) {
  const Header header(context);
  return measure(context, needs("MSP"), [&header](const SENSOR_MEASUREMENTS& m) {
    if (header.has("MAX")) return Reading{m.gateMax};
    if (header.has("MIN")) return Reading{m.gateMin};
    return Reading{m.gateMean};
  });
}

scpi_result_t SCPI_MeasurePowerStateQ(scpi_t* context) {
  const Header header(context);
  const std::size_t state = getTiggeredGateIndex(header);
  return measure(context, needs("MSTG"), [&header, state](const SENSOR_MEASUREMENTS& m) {
    const PULSE_STATES& s = m.pulseStates[state];
    if (header.has("MAX")) return Reading{s.max};
    if (header.has("MIN")) return Reading{s.min};
    return Reading{s.mean};
  });
}

// ---- CALCulate ----

scpi_result_t SCPI_CalculatePulseModel(scpi_t* context) {
  return stagedEdit(context, needs("MST"), SCPI_ReadGateModelParameter,
                    [](SENSOR_CONFIGS& c, bool triggered) { return assign(c.bModelIsTriggeredGates, triggered); });
}

scpi_result_t SCPI_CalculatePulseModelQ(scpi_t* context) {
  return stagedQuery(context, needs("ST"), [context](const SENSOR_CONFIGS& c) {
    SCPI_ResultCharacters(context, c.bModelIsTriggeredGates ? "TRIG" : "PULS");
  });
}

scpi_result_t SCPI_CalculateStateEnable(scpi_t* context) {
  const std::size_t state = getTiggeredGateIndex(Header(context));
  return stagedEdit(context, needs("MSTG"), SCPI_ReadBooleanParameter, [state](SENSOR_CONFIGS& c, bool on) {
    return assign(c.pulseStates[state].bEnabled, on);
  });
}

scpi_result_t SCPI_CalculateStateEnableQ(scpi_t* context) {
  const std::size_t state = getTiggeredGateIndex(Header(context));
  return stagedQuery(context, needs("ST"),
                     [context, state](const SENSOR_CONFIGS& c) { replyBool(context, c.pulseStates[state].bEnabled); });
}

scpi_result_t SCPI_CalculateStateDelay(scpi_t* context) {
  const Header header(context);
  const std::size_t state = getTiggeredGateIndex(header);
  const bool begin = header.has("BEG");
  return stagedEdit(context, needs("MSTG"), SCPI_ReadTimeParameter, [state, begin](SENSOR_CONFIGS& c, float s) {
    PULSE_STATE_INTVL& window = c.pulseStates[state];
    return assign(begin ? window.begin : window.end, s);
  });
}

scpi_result_t SCPI_CalculateStateDelayQ(scpi_t* context) {
  const Header header(context);
  const std::size_t state = getTiggeredGateIndex(header);
  const bool begin = header.has("BEG");
  return stagedQuery(context, needs("ST"), [context, state, begin](const SENSOR_CONFIGS& c) {
    const PULSE_STATE_INTVL& window = c.pulseStates[state];
    SCPI_ResultSensorFloat(context, begin ? window.begin : window.end);
  });
}

scpi_result_t SCPI_CalculateGateDelay(scpi_t* context) {
  const bool begin = Header(context).has("BEG");
  return stagedEdit(context, needs("MSP"), SCPI_ReadTimeParameter,
                    [begin](SENSOR_CONFIGS& c, float s) { return assign(begin ? c.gateBegin : c.gateEnd, s); });
}

scpi_result_t SCPI_CalculateGateDelayQ(scpi_t* context) {
  const bool begin = Header(context).has("BEG");
  return stagedQuery(context, needs("S"), [context, begin](const SENSOR_CONFIGS& c) {
    SCPI_ResultSensorFloat(context, begin ? c.gateBegin : c.gateEnd);
  });
}

// ---- SENSe ----

scpi_result_t SCPI_SenseFrequencyAuto(scpi_t* context) {
  return stagedEdit(context, needs("S"), SCPI_ReadBooleanParameter,
                    [](SENSOR_CONFIGS& c, bool on) { return assign(c.bAutoFrequency, on); });
}

scpi_result_t SCPI_SenseFrequencyAutoQ(scpi_t* context) {
  return stagedQuery(context, needs("S"), [context](const SENSOR_CONFIGS& c) { replyBool(context, c.bAutoFrequency); });
}

scpi_result_t SCPI_SenseFrequency(scpi_t* context) {
  return stagedEdit(context, needs("S"), SCPI_ReadFrequencyParameter,
                    [](SENSOR_CONFIGS& c, float hertz) { return assign(c.freqVal, hertz); });
}

scpi_result_t SCPI_SenseFrequencyQ(scpi_t* context) {
  return stagedQuery(context, needs("S"),
                     [context](const SENSOR_CONFIGS& c) { SCPI_ResultSensorFloat(context, c.freqVal, kToMega); });
}

scpi_result_t SCPI_SensePeriodAuto(scpi_t* context) {
  return stagedEdit(context, needs("MSTP"), SCPI_ReadBooleanParameter,
                    [](SENSOR_CONFIGS& c, bool on) { return assign(c.bAutoPeriod, on); });
}

scpi_result_t SCPI_SensePeriodAutoQ(scpi_t* context) {
  return stagedQuery(context, needs("ST"), [context](const SENSOR_CONFIGS& c) { replyBool(context, c.bAutoPeriod); });
}

scpi_result_t SCPI_SensePeriod(scpi_t* context) {
  return stagedEdit(context, needs("MST"), SCPI_ReadTimeParameter,
                    [](SENSOR_CONFIGS& c, float s) { return assign(c.prdVal, s); });
}

scpi_result_t SCPI_SensePeriodQ(scpi_t* context) {
  return stagedQuery(context, needs("ST"), [context](const SENSOR_CONFIGS& c) { SCPI_ResultSensorFloat(context, c.prdVal); });
}

// ---- TRIGger ----

scpi_result_t SCPI_TriggerLevelAuto(scpi_t* context) {
  return stagedEdit(context, needs("MST"), SCPI_ReadBooleanParameter,
                    [](SENSOR_CONFIGS& c, bool on) { return assign(c.bAutoTriggerLevel, on); });
}

scpi_result_t SCPI_TriggerLevelAutoQ(scpi_t* context) {
  return stagedQuery(context, needs("ST"),
                     [context](const SENSOR_CONFIGS& c) { replyBool(context, c.bAutoTriggerLevel); });
}

scpi_result_t SCPI_TriggerLevel(scpi_t* context) {
  return stagedEdit(context, needs("MST"), SCPI_ReadLevelParameter,
                    [](SENSOR_CONFIGS& c, float watts) { return assign(c.trigLevelVal, watts); });
}

scpi_result_t SCPI_TriggerLevelQ(scpi_t* context) {
  return stagedQuery(context, needs("ST"),
                     [context](const SENSOR_CONFIGS& c) { SCPI_ResultSensorFloat(context, c.trigLevelVal); });
}

scpi_result_t SCPI_TriggerSlope(scpi_t* context) {
  return stagedEdit(context, needs("MST"), SCPI_ReadSlopeParameter,
                    [](SENSOR_CONFIGS& c, std::uint8_t slope) { return assign(c.trigSlope, slope); });
}

scpi_result_t SCPI_TriggerSlopeQ(scpi_t* context) {
  return stagedQuery(context, needs("ST"), [context](const SENSOR_CONFIGS& c) {
    SCPI_ResultCharacters(context, c.trigSlope == 1 ? "POS" : c.trigSlope == 0 ? "NEG" : "EITH");
  });
}

scpi_result_t SCPI_TriggerDelay(scpi_t* context) {
  return stagedEdit(context, needs("MST"), SCPI_ReadTimeParameter,
                    [](SENSOR_CONFIGS& c, float s) { return assign(c.trigDelayVal, s); });
}

scpi_result_t SCPI_TriggerDelayQ(scpi_t* context) {
  return stagedQuery(context, needs("ST"),
                     [context](const SENSOR_CONFIGS& c) { SCPI_ResultSensorFloat(context, c.trigDelayVal); });
}

// ---- The sensor's identity ----

scpi_result_t SCPI_SystemIdentifySensorModel(scpi_t* context) {
  return sensorIdentity(context,
                        [](const SENSOR_INFORMATION_DATA& i) { return TextField_view(i.sensorIdentity.sensorModel); });
}

scpi_result_t SCPI_SystemIdentifySensorSerial(scpi_t* context) {
  return sensorIdentity(context, [](const SENSOR_INFORMATION_DATA& i) { return TextField_view(i.serialNumber); });
}

scpi_result_t SCPI_SystemIdentifySensorFirmware(scpi_t* context) {
  return sensorIdentity(context, [](const SENSOR_INFORMATION_DATA& i) {
    return TextField_view(i.sensorIdentity.sensorFirmwareRevision);
  });
}

// ---- Synchronise and commit ----

scpi_result_t SCPI_SystemPulseConfigSync(scpi_t* context) {
  int channel = 1;
  if (!SCPI_ReadChannelParameter(context, &channel)) return SCPI_RES_ERR;
  const int index = channel - 1;
  std::lock_guard guard(scpi->lock);
  if (!SCPI_IsChannelValid(context, index) || !SCPI_CheckConditions(context, needs("S"), index)) return SCPI_RES_ERR;
  scpi_sensor_config& staged = scpi->configs[static_cast<std::size_t>(index)];
  staged.config = sensorPortHandler_getSensorConfigs(staged.owner.port);
  staged.state = Syncronized;
  ++staged.revision;
  return SCPI_RES_OK;
}

scpi_result_t SCPI_SystemPulseConfigCommit(scpi_t* context) {
  int channel = 1;
  if (!SCPI_ReadChannelParameter(context, &channel)) return SCPI_RES_ERR;
  const auto index = static_cast<std::size_t>(channel - 1);
  SENSOR_CONFIGS config;
  ScpiSensorOwner owner;
  std::uint64_t revision = 0;
  {
    std::lock_guard guard(scpi->lock);
    if (!SCPI_IsChannelValid(context, channel - 1) || !SCPI_CheckConditions(context, needs("MS"), channel - 1)) {
      return SCPI_RES_ERR;
    }
    const scpi_sensor_config& staged = scpi->configs[index];
    if (staged.state != Modified) return SCPI_RES_OK;  // nothing to send
    config = staged.config;
    owner = staged.owner;
    revision = staged.revision;
  }
  compactStates(config);
  // The handler keeps no automatic period with triggered gates; the staged
  // copy says so too once it is settled.
  if (config.bModelIsTriggeredGates) config.bAutoPeriod = false;
  // The handler applies it between two measurement cycles; the wait is
  // bounded there. The record stays free meanwhile.
  const USBTMC_PARAM_ERRORS errors = sensorPortHandler_setSensorConfigs(owner.port, config);
  {
    std::lock_guard guard(scpi->lock);
    scpi_sensor_config& staged = scpi->configs[index];
    // Only the staging that was sent is settled: an edit that came in while
    // the sensor was busy, or another sensor, keeps its own state.
    if (staged.owner == owner && staged.revision == revision) {
      staged.config = config;
      if (errors.count == 0) staged.state = Syncronized;
    }
  }
  for (int i = 0; i < errors.count && i < kMaxParamErrors; ++i) {
    pushCustomScpiErrorWithMsg(context, 106, TextField_view(errors.errors[static_cast<std::size_t>(i)]));
  }
  return errors.count == 0 ? SCPI_RES_OK : SCPI_RES_ERR;
}
