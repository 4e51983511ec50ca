// The stored pulse measurement configuration of the USB sensors: one small
// JSON file, "/etc/meterapp/TalvekPulseSensor.conf" by default, that the
// pulse configuration dialog restores and stores, the USB handler loads at
// each attachment and a remote command presets.
//
// The file is always replaced whole and in one step (written beside, synced,
// renamed), so concurrent writers in any thread or process leave either one
// complete configuration or the other, never a mixture. The capability flags
// of SENSOR_CONFIGS are never stored.
#pragma once

#include <string>
#include <string_view>

#include "sensor_data.h"

// Selects the file by its device path (mapped under the device root when
// opened); empty selects the default. Creates its directory (mode 0777; an
// existing one is fine). A path of 64 characters or more does not fit the
// meter's file name field: it is refused with a diagnostic and the previous
// name stays.
void sensorPortHandler_setPulseConfigFile(std::string_view path);

// The selected device path.
std::string sensorPortHandler_getPulseConfigFile();

// Copies the stored configuration into `configs`, keeping its capability
// flags. A missing file is created with the defaults; an unreadable or
// malformed one gives the defaults and is left as it is.
void sensorPortHandler_loadSensorConfig(SENSOR_CONFIGS& configs);

// Stores every field of `configs` except the capability flags.
void sensorPortHandler_saveSensorConfig(const SENSOR_CONFIGS& configs);

// Stores the default configuration.
void sensorPortHandler_presetSensorConfig();

// The stored fields of the default configuration (capability flags false).
SENSOR_CONFIGS PulseSensorConfig_defaults();

// The file's text for a configuration, and the configuration a text holds
// (false for text that is not a JSON object). Missing members read as 0.
std::string PulseSensorConfig_toJson(const SENSOR_CONFIGS& configs);
bool PulseSensorConfig_fromJson(std::string_view json, SENSOR_CONFIGS& configs);
