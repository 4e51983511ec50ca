// Who this meter is: its model and serial number, provisioned on the device in
// "/etc/meterapp/meterIdentity.conf", and its firmware text from the build
// record. Read by the remote interfaces (*IDN?), the battery monitor (models
// without a battery) and the About page.
//
// The identity file holds one "key value" line per field:
//   model R9050
//   serial 905012345
// Blank lines and lines starting with '#' are ignored; a value runs to the
// end of its line (at most 15 characters are kept). A missing file, or a
// missing line, leaves the default: model "R9050", serial "000000000".
#pragma once

#include <array>

struct MeterIdentity {
  std::array<char, 16> model{};
  std::array<char, 16> serial{};
};

// Reads the identity file (once; later calls give the same answer).
const MeterIdentity& MeterIdentity_get();
// Reads the identity file again (tests, and a device root changed at run time).
const MeterIdentity& MeterIdentity_reload();

// The firmware text (at most 127 characters): "unknown: <build date> <build
// time>" of this program, or, from the build record
// "/usr/local/etc/defconfig/buildInstalled", its BUILD_DATE (first 'T' made a
// blank) followed by two blanks and its BUILD_UUID. No line end is ever kept.
// Returns whether the text came from the build record.
bool getFwVersion(std::array<char, 128>& text);
