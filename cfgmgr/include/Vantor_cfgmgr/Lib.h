// Library-wide streams, image maps and initialisation.
#pragma once

#include "Vantor_util/Vantor_util.h"

#include <cstdio>

namespace Vantor_cfgmgr {

// Output and error streams of the configuration programs; null until
// redirectOutputError. The library writes its messages to ErrorStream().
extern FILE* outputFile;
extern FILE* errorFile;
extern int backtraceFd;

// errorFile, or standard error while it is unset.
FILE* ErrorStream();
// outputFile, or standard output while it is unset.
FILE* OutputStream();

// Null or empty: standard output and standard error. Otherwise both streams
// go to one file (created, truncated, mode 0644); failing to open it ends the
// process after perror("open outputFilename").
void redirectOutputError(const char* fileName);

// Builds the image maps below; later calls do nothing.
void LibInit();

extern const Vantor_util::EnumMap_c* AccessClassImageMap;
extern const Vantor_util::EnumMap_c* IdentFamilyImageMap;
extern const Vantor_util::EnumMap_c* SpecificIdentFamilyImageMap;
extern const Vantor_util::EnumMap_c* AssetFamilyImageMap;
extern const Vantor_util::EnumMap_c* SpecificAssetFamilyImageMap;

// The raw tables behind the identifier and asset maps (ended by key -1).
extern const Vantor_util::EnumPair_t identFamily_ID[];
extern const Vantor_util::EnumPair_t assetFamily_ID[];

// The image of an access class ("readWrite", "readOnly", "const",
// "writeOnly"), usable before LibInit.
const char* AccessClassImage(uint32_t accessClass);

} // namespace Vantor_cfgmgr
