// Measurement limits of a USB sensor, read from the plug-and-play description
// it carries: the ranges the pulse configuration dialog validates against.
#pragma once

#include "sensor_data.h"
#include "usbtmc_requests.h"

// The receive buffer for the whole plug-and-play description.
inline constexpr std::size_t PNP_FILE_BUFFER_SIZE = 24576;

// Reads the description over USB and fills the identity's power, pulse
// repetition frequency, frequency, pulse period and trigger delay ranges and
// the four state windows [-P, +P] (P the largest pulse period); items the
// description lacks get their defaults. Returns 0, or the transfer's
// negative result with the identity unchanged.
int getMinMaxParameters(int fd, UsbRxBuffer buffer, SENSOR_IDENTITY& identity);

// Fills the identity's ranges from a description already read.
void SensorLimits_fromDescription(const char* text, SENSOR_IDENTITY& identity);

// One lookup: in the section from the first occurrence of `item` to the
// first "</element>" after it, the numbers between "<Minimum>" and
// "</Minimum>" and between "<Maximum>" and "</Maximum>". What is not found
// (or is not a number) is NaN.
void getMaxMin(const char* text, const char* element, const char* item, float& max, float& min);
