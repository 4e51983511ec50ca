// How the sensor commands reach a sensor: the channel parameter, the channel
// map from the sensor manager, the owner of the staged configuration and of
// the measurement copy, the preconditions, and the measurement push of the
// display pass.
#include <cmath>

#include "configuration.h"
#include "scpi_record.h"
#include "scpi_remote.h"

namespace {

// Forgets what belonged to the channel's previous sensor. Lock held.
void adoptOwner(std::size_t index, const ScpiSensorOwner& owner) {
  scpi_sensor_config& staged = scpi->configs[index];
  if (!(staged.owner == owner)) {
    staged.state = NotInitialized;
    staged.owner = owner;
    ++staged.revision;
  }
  ScpiMeasurementCopy& copy = scpi->measurementOwner[index];
  if (!(copy.owner == owner)) {
    copy.owner = owner;
    copy.valid = false;
    scpi->measurements[index] = SENSOR_MEASUREMENTS{};
  }
}

void dropChannel(std::size_t index) {
  scpi->configs[index].state = NotInitialized;
  scpi->configs[index].owner = ScpiSensorOwner{};
  scpi->measurementOwner[index] = ScpiMeasurementCopy{};
  scpi->measurements[index] = SENSOR_MEASUREMENTS{};
}

}  // namespace

ScpiSensorOwner scpiSensorOwner(const SensorInstance& sensor) {
  ScpiSensorOwner owner;
  owner.port = static_cast<int>(sensor.index);
  owner.serialNumber = sensorPortHandler_getSensorInformation(owner.port).serialNumber;
  owner.ready = sensorPortHandler_getSensorStatus(owner.port).status == isReady;
  return owner;
}

bool scpiGetSensor() {
  if (scpi == nullptr) return false;
  scpi->chanValid = {false, false};
  scpi->sensor = {SensorInstance{}, SensorInstance{}};
  for (const int port : SensorManager_getActivePorts()) {
    if (!SensorPort_isValid(port)) continue;
    const std::uint32_t channel = SensorInstance_GetLogicalChannel(port);
    if (channel > sensorLogicalChannel2) continue;  // not assigned yet
    SensorInstance& copy = scpi->sensor[channel];
    copy.isPulseSensor = SensorPort_isUsb(port);
    copy.state = sensorActive;
    copy.index = static_cast<std::uint32_t>(port);
    copy.logicalChannel = channel;
    copy.physicalChannel = kSensorPortDetectionBit[static_cast<std::size_t>(port)];
    scpi->chanValid[channel] = true;
  }
  return scpi->chanValid[0] || scpi->chanValid[1];
}

void scpiUpdateMeasurement(int index, SENSOR_MEASUREMENTS measurements) {
  if (scpi == nullptr) return;
  std::lock_guard guard(scpi->lock);
  scpiGetSensor();
  for (std::size_t channel = 0; channel < 2; ++channel) {
    const SensorInstance& sensor = scpi->sensor[channel];
    if (!scpi->chanValid[channel] || static_cast<int>(sensor.index) != index) continue;
    adoptOwner(channel, scpiSensorOwner(sensor));
    scpi->measurements[channel] = measurements;
    scpi->measurementOwner[channel].valid = true;
  }
}

bool SCPI_ReadChannelParameter(scpi_t* context, int* channel) {
  *channel = 1;
  scpi_number_t number;
  if (!SCPI_ParamNumber(context, scpi_special_numbers_def, &number, false)) {
    if (!SCPI_ParamErrorOccurred(context)) return true;  // absent: channel 1
    SCPI_ErrorPush(context, SCPI_ERROR_PARAMETER_ERROR);
    return false;
  }
  if (number.special || number.unit != SCPI_UNIT_NONE) {
    SCPI_ErrorPush(context, SCPI_ERROR_PARAMETER_ERROR);
    return false;
  }
  const double rounded = std::round(number.value);
  if (rounded != 1.0 && rounded != 2.0) {
    pushCustomScpiError(context, 101);
    return false;
  }
  *channel = static_cast<int>(rounded);
  return true;
}

bool SCPI_IsChannelValid(scpi_t* context, int index) {
  const auto i = static_cast<std::size_t>(index);
  scpiGetSensor();
  if (!scpi->chanValid[i]) {
    dropChannel(i);
    pushCustomScpiError(context, 102);
    return false;
  }
  const SensorInstance& sensor = scpi->sensor[i];
  adoptOwner(i, scpiSensorOwner(sensor));
  scpi_sensor_config& staged = scpi->configs[i];
  if (staged.state == NotInitialized) {
    staged.config = sensorPortHandler_getSensorConfigs(static_cast<int>(sensor.index));
    staged.state = Syncronized;
    ++staged.revision;
  }
  return true;
}

bool SCPI_CheckConditions(scpi_t* context, const PulseSensorConditions& conditions, int index) {
  const auto i = static_cast<std::size_t>(index);
  const SensorInstance& sensor = scpi->sensor[i];
  const SENSOR_CONFIGS& staged = scpi->configs[i].config;
  if (conditions.bPulseSensor && !sensor.isPulseSensor) {
    pushCustomScpiError(context, 110);
    return false;
  }
  if (conditions.bPulseMode && !configuration_getPulseMode()) {
    pushCustomScpiError(context, 104);
    return false;
  }
  // The channel's own sensor decides, whichever USB slot it sits in.
  if (conditions.bP804 && !sensorPortHandler_getSensorConfigs(static_cast<int>(sensor.index)).bSupportsTriggeredGates) {
    pushCustomScpiError(context, 105);
    return false;
  }
  if (conditions.bTriggeredGate && !staged.bModelIsTriggeredGates) {
    pushCustomScpiError(context, 108);
    return false;
  }
  if (conditions.bPulseGate && staged.bModelIsTriggeredGates) {
    pushCustomScpiError(context, 109);
    return false;
  }
  return true;
}
