// Handlers of the meter's SCPI command table. The rows that answer from a
// sensor are defined in scpi_sensor_commands (the readers and preconditions
// they share live there too); the rest in scpi_commands.
#pragma once

#include "scpi/scpi.h"

// IEEE 488.2 and the required SYSTem and STATus rows.
scpi_result_t SCPI_ClearStatusCmd(scpi_t* context);
scpi_result_t SCPI_IdentCmd(scpi_t* context);
scpi_result_t SCPI_ResetCmd(scpi_t* context);
scpi_result_t My_CoreTstQ(scpi_t* context);
scpi_result_t SCPI_SystemVersion(scpi_t* context);
scpi_result_t SCPI_StatusPresetCmd(scpi_t* context);

// The meter's identity.
scpi_result_t SCPI_SystemIdentifyModel(scpi_t* context);
scpi_result_t SCPI_SystemIdentifySerial(scpi_t* context);
scpi_result_t SCPI_SystemIdentifyFirmware(scpi_t* context);

// RS-232 and LAN staging, their restarts, the preset and the pulse mode.
scpi_result_t SCPI_SystemCommRs232Baud(scpi_t* context);
scpi_result_t SCPI_SystemCommRs232Length(scpi_t* context);
scpi_result_t SCPI_SystemCommRs232Stopbits(scpi_t* context);
scpi_result_t SCPI_SystemCommRs232Parity(scpi_t* context);
scpi_result_t SCPI_SystemCommRs232Flowcontrol(scpi_t* context);
scpi_result_t SCPI_SystemCommRs232Restart(scpi_t* context);
scpi_result_t SCPI_SystemCommLanAddress(scpi_t* context);
scpi_result_t SCPI_SystemCommLanGateway(scpi_t* context);
scpi_result_t SCPI_SystemCommLanMask(scpi_t* context);
scpi_result_t SCPI_SystemCommLanDhcpState(scpi_t* context);
scpi_result_t SCPI_SystemCommLanMac(scpi_t* context);
scpi_result_t SCPI_SystemCommLanRestart(scpi_t* context);
scpi_result_t SCPI_SystemPreset(scpi_t* context);
scpi_result_t SCPI_SystemPulseEnable(scpi_t* context);
scpi_result_t SCPI_SystemPulseEnableQ(scpi_t* context);

// Rows that need a sensor.
scpi_result_t SCPI_MeasureTemperatureQ(scpi_t* context);
scpi_result_t SCPI_MeasurePowerFreqQ(scpi_t* context);
scpi_result_t SCPI_MeasurePowerPulseQ(scpi_t* context);
scpi_result_t SCPI_MeasurePowerAverageQ(scpi_t* context);
scpi_result_t SCPI_MeasurePowerGateQ(scpi_t* context);
scpi_result_t SCPI_MeasurePowerStateQ(scpi_t* context);
scpi_result_t SCPI_CalculatePulseModel(scpi_t* context);
scpi_result_t SCPI_CalculatePulseModelQ(scpi_t* context);
scpi_result_t SCPI_CalculateStateEnable(scpi_t* context);
scpi_result_t SCPI_CalculateStateEnableQ(scpi_t* context);
scpi_result_t SCPI_CalculateStateDelay(scpi_t* context);
scpi_result_t SCPI_CalculateStateDelayQ(scpi_t* context);
scpi_result_t SCPI_CalculateGateDelay(scpi_t* context);
scpi_result_t SCPI_CalculateGateDelayQ(scpi_t* context);
scpi_result_t SCPI_SenseFrequencyAuto(scpi_t* context);
scpi_result_t SCPI_SenseFrequencyAutoQ(scpi_t* context);
scpi_result_t SCPI_SenseFrequency(scpi_t* context);
scpi_result_t SCPI_SenseFrequencyQ(scpi_t* context);
scpi_result_t SCPI_SensePeriodAuto(scpi_t* context);
scpi_result_t SCPI_SensePeriodAutoQ(scpi_t* context);
scpi_result_t SCPI_SensePeriod(scpi_t* context);
scpi_result_t SCPI_SensePeriodQ(scpi_t* context);
scpi_result_t SCPI_TriggerLevelAuto(scpi_t* context);
scpi_result_t SCPI_TriggerLevelAutoQ(scpi_t* context);
scpi_result_t SCPI_TriggerLevel(scpi_t* context);
scpi_result_t SCPI_TriggerLevelQ(scpi_t* context);
scpi_result_t SCPI_TriggerSlope(scpi_t* context);
scpi_result_t SCPI_TriggerSlopeQ(scpi_t* context);
scpi_result_t SCPI_TriggerDelay(scpi_t* context);
scpi_result_t SCPI_TriggerDelayQ(scpi_t* context);
scpi_result_t SCPI_SystemIdentifySensorModel(scpi_t* context);
scpi_result_t SCPI_SystemIdentifySensorSerial(scpi_t* context);
scpi_result_t SCPI_SystemIdentifySensorFirmware(scpi_t* context);
scpi_result_t SCPI_SystemPulseConfigSync(scpi_t* context);
scpi_result_t SCPI_SystemPulseConfigCommit(scpi_t* context);
