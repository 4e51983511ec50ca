// Internals of the vprop program: the run context and the commands. Each
// command returns the program's exit status. vprop never writes a file: the
// changing commands work on the loaded tree only.
#pragma once

#include "VpropModel.h"

#include "tools_common/PropertyIdFile.h"
#include "tools_common/PropertyPath.h"
#include "tools_common/ToolOptions.h"

#include <string>
#include <vector>

namespace Vantor_cfgmgr {

struct VpropContext {
    SubsystemVprop config;
    PropertyIdList propertyIds;   // -f
    std::string commandLineId;    // the command's property id argument
    std::string commandLineValue; // the value argument of "set"
    bool hasCommandLineId = false;
};

// The merged configuration of a subsystem, loaded once per run. A subsystem
// that is not listed, an unreadable file and a root that is not an object
// end the program with status 2; a missing or empty file gives an empty
// object.
ValueObject* loadConfOut(VpropContext& ctx, const std::string& subsystemName);
// The object the property paths of a command start from: the property of
// the confOut tree named after the -s subsystem. Null when it is missing
// and -N was given (the command then returns 3).
ValueObject* subsystemObject(VpropContext& ctx);

int vpropSubsystem(VpropContext& ctx);
int vpropGet(VpropContext& ctx);
int vpropSet(VpropContext& ctx);
// batch, commit, cancel and help: remove properties from the loaded tree.
int vpropRemove(VpropContext& ctx);

} // namespace Vantor_cfgmgr
