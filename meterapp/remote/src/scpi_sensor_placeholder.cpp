// PLACEHOLDER of the command rows that answer from a sensor (measurements,
// the staged pulse configuration, the sensor's identity). Until they are
// built, every one of them refuses with one error, "-200 Execution error;
// Sensor commands are not available yet", and replies nothing. Replace this
// file whole with the real handlers; the table in scpi_commands.cpp already
// names them.
#include "scpi_handlers.h"

namespace {

scpi_result_t SensorCommandPlaceholder(scpi_t* context) {
  SCPI_ErrorPushEx(context, SCPI_ERROR_EXECUTION_ERROR, "Sensor commands are not available yet");
  return SCPI_RES_ERR;
}

}  // namespace

scpi_result_t SCPI_MeasureTemperatureQ(scpi_t* context) { return SensorCommandPlaceholder(context); }
scpi_result_t SCPI_MeasurePowerFreqQ(scpi_t* context) { return SensorCommandPlaceholder(context); }
scpi_result_t SCPI_MeasurePowerPulseQ(scpi_t* context) { return SensorCommandPlaceholder(context); }
scpi_result_t SCPI_MeasurePowerAverageQ(scpi_t* context) { return SensorCommandPlaceholder(context); }
scpi_result_t SCPI_MeasurePowerGateQ(scpi_t* context) { return SensorCommandPlaceholder(context); }
scpi_result_t SCPI_MeasurePowerStateQ(scpi_t* context) { return SensorCommandPlaceholder(context); }
scpi_result_t SCPI_CalculatePulseModel(scpi_t* context) { return SensorCommandPlaceholder(context); }
scpi_result_t SCPI_CalculatePulseModelQ(scpi_t* context) { return SensorCommandPlaceholder(context); }
scpi_result_t SCPI_CalculateStateEnable(scpi_t* context) { return SensorCommandPlaceholder(context); }
scpi_result_t SCPI_CalculateStateEnableQ(scpi_t* context) { return SensorCommandPlaceholder(context); }
scpi_result_t SCPI_CalculateStateDelay(scpi_t* context) { return SensorCommandPlaceholder(context); }
scpi_result_t SCPI_CalculateStateDelayQ(scpi_t* context) { return SensorCommandPlaceholder(context); }
scpi_result_t SCPI_CalculateGateDelay(scpi_t* context) { return SensorCommandPlaceholder(context); }
scpi_result_t SCPI_CalculateGateDelayQ(scpi_t* context) { return SensorCommandPlaceholder(context); }
scpi_result_t SCPI_SenseFrequencyAuto(scpi_t* context) { return SensorCommandPlaceholder(context); }
scpi_result_t SCPI_SenseFrequencyAutoQ(scpi_t* context) { return SensorCommandPlaceholder(context); }
scpi_result_t SCPI_SenseFrequency(scpi_t* context) { return SensorCommandPlaceholder(context); }
scpi_result_t SCPI_SenseFrequencyQ(scpi_t* context) { return SensorCommandPlaceholder(context); }
scpi_result_t SCPI_SensePeriodAuto(scpi_t* context) { return SensorCommandPlaceholder(context); }
scpi_result_t SCPI_SensePeriodAutoQ(scpi_t* context) { return SensorCommandPlaceholder(context); }
scpi_result_t SCPI_SensePeriod(scpi_t* context) { return SensorCommandPlaceholder(context); }
scpi_result_t SCPI_SensePeriodQ(scpi_t* context) { return SensorCommandPlaceholder(context); }
scpi_result_t SCPI_TriggerLevelAuto(scpi_t* context) { return SensorCommandPlaceholder(context); }
scpi_result_t SCPI_TriggerLevelAutoQ(scpi_t* context) { return SensorCommandPlaceholder(context); }
scpi_result_t SCPI_TriggerLevel(scpi_t* context) { return SensorCommandPlaceholder(context); }
scpi_result_t SCPI_TriggerLevelQ(scpi_t* context) { return SensorCommandPlaceholder(context); }
scpi_result_t SCPI_TriggerSlope(scpi_t* context) { return SensorCommandPlaceholder(context); }
scpi_result_t SCPI_TriggerSlopeQ(scpi_t* context) { return SensorCommandPlaceholder(context); }
scpi_result_t SCPI_TriggerDelay(scpi_t* context) { return SensorCommandPlaceholder(context); }
scpi_result_t SCPI_TriggerDelayQ(scpi_t* context) { return SensorCommandPlaceholder(context); }
scpi_result_t SCPI_SystemIdentifySensorModel(scpi_t* context) { return SensorCommandPlaceholder(context); }
scpi_result_t SCPI_SystemIdentifySensorSerial(scpi_t* context) { return SensorCommandPlaceholder(context); }
scpi_result_t SCPI_SystemIdentifySensorFirmware(scpi_t* context) { return SensorCommandPlaceholder(context); }
scpi_result_t SCPI_SystemPulseConfigSync(scpi_t* context) { return SensorCommandPlaceholder(context); }
scpi_result_t SCPI_SystemPulseConfigCommit(scpi_t* context) { return SensorCommandPlaceholder(context); }
