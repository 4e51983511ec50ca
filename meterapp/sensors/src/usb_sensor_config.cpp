// Reading a USB sensor's measurement configuration back and sending the
// pulse configuration to it.
#include <cstdio>
#include <string_view>

#include "log_manager.h"
#include "text_field.h"
#include "usb_sensor.h"
#include "usbtmc_requests.h"

namespace {

constexpr float kMega = 1.0e6F;

std::size_t idx(int port) { return static_cast<std::size_t>(port); }

// One handler's view of its slot during a read or a send.
struct Link {
  USB_HANDLER_DATA& h;
  int port;
  int fd;
  UsbRxBuffer rx;
};

Link linkOf(USB_HANDLER_DATA* handler) {
  return {*handler, handler->usbPort.channelIndex, handler->usbPort.fd.load(), UsbRxBuffer(handler->usbPort.rxBuffer)};
}

// A query counts as failed when nothing was received.
bool ask(const Link& l, sensor_qry_e query, QRY_TYPE& result) { return handleQuery(l.fd, l.rx, query, result) > 0; }

sensor_qry_e stateQuery(sensor_qry_e first, int state) { return static_cast<sensor_qry_e>(first + state); }
sensor_cmd_e stateCommand(sensor_cmd_e first, int state) { return static_cast<sensor_cmd_e>(first + state); }

bool readPeriod(const Link& l, SENSOR_CONFIGS& c) {
  QRY_TYPE r;
  if (!ask(l, Q_SENSE_PERIOD_AUTO, r)) {
    USER_ERROR("USB sensor %d period auto query failed\n", l.port);
    return false;
  }
  c.bAutoPeriod = r.ival != 0;
  if (handleQueryWithStatus(l.fd, l.rx, Q_SENSE_PERIOD, r) == usbtmc_transportError) {
    USER_ERROR("USB sensor %d period query failed\n", l.port);
    return false;
  }
  c.prdVal = r.fval;
  return true;
}

bool readFrequency(const Link& l, SENSOR_CONFIGS& c) {
  QRY_TYPE r;
  if (!ask(l, Q_SENSE_FREQUENCY_AUTO, r)) {
    USER_ERROR("USB sensor %d frequency auto query failed\n", l.port);
    return false;
  }
  c.bAutoFrequency = r.ival != 0;
  if (!ask(l, Q_SENSE_FREQUENCY, r)) {
    USER_ERROR("USB sensor %d frequency query failed\n", l.port);
    return false;
  }
  c.freqVal = r.fval * kMega;
  return true;
}

bool readTrigger(const Link& l, SENSOR_CONFIGS& c) {
  QRY_TYPE r;
  if (!ask(l, Q_TRIGGER_LEVEL_AUTO, r)) {
    USER_ERROR("USB sensor %d trigger level auto query failed\n", l.port);
    return false;
  }
  c.bAutoTriggerLevel = r.ival != 0;
  if (!ask(l, Q_TRIGGER_LEVEL, r)) {
    USER_ERROR("USB sensor %d trigger level query failed\n", l.port);
    return false;
  }
  c.trigLevelVal = r.fval;
  if (!ask(l, Q_TRIGGER_DELAY, r)) {
    USER_ERROR("USB sensor %d trigger delay query failed\n", l.port);
    return false;
  }
  c.trigDelayVal = r.fval;
  // The slope is sent with every configuration; read it too, so that what is
  // sent next is what the sensor has, not a value nobody chose.
  if (!ask(l, Q_TRIGGER_SLOPE, r)) {
    USER_ERROR("USB sensor %d trigger slope query failed\n", l.port);
    return false;
  }
  c.trigSlope = TextField_view(r.sval).starts_with("POS") ? 1 : 0;
  return true;
}

bool readStates(const Link& l, SENSOR_CONFIGS& c) {
  for (int i = 0; i < kPulseStateCount; ++i) {
    PULSE_STATE_INTVL& state = c.pulseStates[idx(i)];
    QRY_TYPE r;
    if (!ask(l, stateQuery(Q_CALCULATE_STATE1_EN, i), r)) {
      USER_ERROR("USB sensor %d state %d enable query failed\n", l.port, i);
      return false;
    }
    state.bEnabled = r.ival != 0;
    if (!ask(l, stateQuery(Q_CALCULATE_STATE1_BEGIN, i), r)) {
      USER_ERROR("USB sensor %d state %d begin query failed\n", l.port, i);
      return false;
    }
    state.begin = r.fval;
    if (!ask(l, stateQuery(Q_CALCULATE_STATE1_END, i), r)) {
      USER_ERROR("USB sensor %d state %d end query failed\n", l.port, i);
      return false;
    }
    state.end = r.fval;
  }
  return true;
}

bool readGate(const Link& l, SENSOR_CONFIGS& c) {
  QRY_TYPE r;
  if (!ask(l, Q_CALC_GATE_BEGIN_DELAY, r)) {
    USER_ERROR("USB sensor %d gate begin query failed\n", l.port);
    return false;
  }
  c.gateBegin = r.fval;
  if (!ask(l, Q_CALC_GATE_END_DELAY, r)) {
    USER_ERROR("USB sensor %d gate end query failed\n", l.port);
    return false;
  }
  c.gateEnd = r.fval;
  return true;
}

// Sends one configuration command; false on a transport error (the send
// ends there). A value the sensor rejects adds `errorText` and goes on.
bool sendStep(const Link& l, sensor_cmd_e command, CMD_TYPE parameter, const char* name, const char* errorText,
              USBTMC_PARAM_ERRORS& errors) {
  const enUSBTMCErrors result = handleCmdWithStatus(l.fd, l.rx, command, parameter);
  if (result == usbtmc_transportError) {
    USER_ERROR("USB sensor %d %s command failed with a transport error %d.\n", l.port, name, static_cast<int>(result));
    return false;
  }
  if (result != usbtmc_success) {
    USER_WARNING("USB sensor %d %s command failed with error %d.\n", l.port, name, static_cast<int>(result));
    sensorPortHandler_addParamError(&errors, errorText);
  }
  return true;
}

CMD_TYPE intParam(int value) {
  CMD_TYPE p;
  p.ival = value;
  return p;
}

CMD_TYPE floatParam(float value) {
  CMD_TYPE p;
  p.fval = value;
  return p;
}

CMD_TYPE textParam(std::string_view value) {
  CMD_TYPE p;
  TextField_copy(p.sval, value);
  return p;
}

bool sendFrequency(const Link& l, const SENSOR_CONFIGS& c, USBTMC_PARAM_ERRORS& e) {
  if (!sendStep(l, C_SENSE_FREQ_AUTO, intParam(c.bAutoFrequency ? 1 : 0), "frequency auto", "Freq Auto is not valid", e)) {
    return false;
  }
  if (!c.bAutoFrequency &&
      !sendStep(l, C_SENSE_FREQ, floatParam(c.freqVal / kMega), "frequency", "Freq is not valid", e)) {
    return false;
  }
  return sendStep(l, C_SENSE_RELFECT_EN, intParam(1), "reflected enable", "Refl Enable is not valid", e);
}

bool sendPeriod(const Link& l, const SENSOR_CONFIGS& c, USBTMC_PARAM_ERRORS& e) {
  const int autoPeriod = c.bAutoPeriod ? 1 : 0;
  if (!sendStep(l, C_SENSE_PER_AUTO, intParam(autoPeriod), "period auto", "Period Auto is not valid", e)) return false;
  if (!sendStep(l, C_SENSE_SWE_TIME_AUTO, intParam(autoPeriod), "sweep time auto", "Sweep Time Auto is not valid", e)) {
    return false;
  }
  if (c.bAutoPeriod) return true;
  if (!sendStep(l, C_SENSE_PER, floatParam(c.prdVal), "period", "Period is not valid", e)) return false;
  return sendStep(l, C_SENSE_SWE_TIME, floatParam(c.prdVal), "sweep time", "Sweep Time is not valid", e);
}

bool sendTrigger(const Link& l, const SENSOR_CONFIGS& c, USBTMC_PARAM_ERRORS& e) {
  if (!sendStep(l, C_TRIGGER_SOURCE, textParam("INT"), "trigger source", "Trigger Source is not valid", e)) return false;
  if (!sendStep(l, C_TRIGGER_LEVEL_AUTO, intParam(c.bAutoTriggerLevel ? 1 : 0), "trigger level auto",
                "Trigger Level Auto is not valid", e)) {
    return false;
  }
  if (!c.bAutoTriggerLevel &&
      !sendStep(l, C_TRIGGER_LEVEL, floatParam(c.trigLevelVal), "trigger level", "Trigger Level is not valid", e)) {
    return false;
  }
  if (!sendStep(l, C_TRIGGER_SLOPE, textParam(c.trigSlope == 1 ? "POS" : "NEG"), "trigger slope",
                "Trigger Slope is not valid", e)) {
    return false;
  }
  return sendStep(l, C_TRIGGER_DELAY, floatParam(c.trigDelayVal), "trigger delay", "Trigger Delay is not valid", e);
}

bool sendStates(const Link& l, const SENSOR_CONFIGS& c, USBTMC_PARAM_ERRORS& e) {
  for (int i = 0; i < kPulseStateCount; ++i) {
    const PULSE_STATE_INTVL& state = c.pulseStates[idx(i)];
    std::array<char, 32> enable{};
    std::array<char, 32> begin{};
    std::array<char, 32> end{};
    std::array<char, 32> beginError{};
    std::array<char, 32> endError{};
    std::snprintf(enable.data(), enable.size(), "state %d enable", i + 1);
    std::snprintf(begin.data(), begin.size(), "state %d begin", i + 1);
    std::snprintf(end.data(), end.size(), "state %d end", i + 1);
    std::snprintf(beginError.data(), beginError.size(), "State %d Begin is not valid", i + 1);
    std::snprintf(endError.data(), endError.size(), "State %d End is not valid", i + 1);
    const sensor_cmd_e enableCommand = stateCommand(C_CALCULATE_STATE1_EN, i);
    if (!state.bEnabled) {
      if (!sendStep(l, enableCommand, intParam(0), enable.data(), "State Enable is not valid", e)) return false;
      continue;
    }
    if (!sendStep(l, stateCommand(C_CALCULATE_STATE1_BEGIN, i), floatParam(state.begin), begin.data(),
                  beginError.data(), e) ||
        !sendStep(l, stateCommand(C_CALCULATE_STATE1_END, i), floatParam(state.end), end.data(), endError.data(),
                  e) ||
        !sendStep(l, enableCommand, intParam(1), enable.data(), "State Enable is not valid", e)) {
      return false;
    }
  }
  return true;
}

bool sendGate(const Link& l, const SENSOR_CONFIGS& c, USBTMC_PARAM_ERRORS& e) {
  if (!sendStep(l, C_CALC_GATE_BEGIN_DELAY, floatParam(c.gateBegin), "gate begin delay", "Gate Begin is not valid", e)) {
    return false;
  }
  return sendStep(l, C_CALC_GATE_END_DELAY, floatParam(c.gateEnd), "gate end delay", "Gate End is not valid", e);
}

}  // namespace

int sensorPortHandler_readSensorConfig(USB_HANDLER_DATA* handler) {
  const Link l = linkOf(handler);
  SENSOR_CONFIGS c = sensorPortHandler_getSensorConfigs(l.port);
  const bool extended = c.bSupportsTriggeredGates;
  if (extended && !readPeriod(l, c)) return -1;
  if (!readFrequency(l, c)) return -1;
  if (extended && (!readTrigger(l, c) || !readStates(l, c))) return -1;
  if (!readGate(l, c)) return -1;
  std::lock_guard guard(sensorPortConfigMutex[idx(l.port)]);
  // The capabilities stay as identification set them.
  c.bSupportsAutoPeriod = handler->sensorConfigs.bSupportsAutoPeriod;
  c.bSupportsAutoTiggerLevel = handler->sensorConfigs.bSupportsAutoTiggerLevel;
  c.bSupportsTriggeredGates = handler->sensorConfigs.bSupportsTriggeredGates;
  handler->sensorConfigs = c;
  return 0;
}

int sensorPortHandler_sendConfigToSensor(USB_HANDLER_DATA* handler, USBTMC_PARAM_ERRORS& errors) {
  const Link l = linkOf(handler);
  SENSOR_CONFIGS c;
  std::uint64_t sequence = 0;
  if (!sensorPortHandler_takeConfigRequest(l.port, c, sequence)) return 0;
  errors = USBTMC_PARAM_ERRORS{};
  const bool extended = c.bSupportsTriggeredGates;
  bool reached = sendFrequency(l, c, errors);
  if (reached && extended) reached = sendPeriod(l, c, errors) && sendTrigger(l, c, errors);
  if (reached) reached = extended && c.bModelIsTriggeredGates ? sendStates(l, c, errors) : sendGate(l, c, errors);
  // A transport failure restarts the handler, which fails every unanswered
  // request; only a send that reached the sensor answers them.
  if (!reached) return -1;
  sensorPortHandler_answerConfigRequests(l.port, sequence, errors);
  return 0;
}
