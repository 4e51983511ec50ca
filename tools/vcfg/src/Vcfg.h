// Internals of the vcfg program: the run context and the commands. Each
// command returns the program's exit status.
#pragma once

#include "VcfgModel.h"

#include "tools_common/PropertyIdFile.h"
#include "tools_common/PropertyPath.h"
#include "tools_common/ToolOptions.h"

#include <string>
#include <vector>

namespace Vantor_cfgmgr {

// Domain used by commands that are given none.
inline constexpr const char* kDefaultDomain = "deviceSpecific";

struct VcfgContext {
    std::string programPath;
    SubsystemVcfg config;
    std::string domainName;        // -d, or the command's argument
    PropertyIdList propertyIds;    // -f
    std::string commandLineId;     // the command's property id argument
    std::string commandLineValue;  // the value argument of "set"
    bool hasCommandLineId = false;
};

// The merged configuration of a domain: the tree saved in this run, else
// the one loaded, else the confOut file (a missing or empty file gives an
// empty object). Unknown domains and unreadable files end the program (2).
ValueObject* loadConfOut(VcfgContext& ctx, const std::string& domainName);
// Saves tree as the domain's confOut and keeps it as the domain's current
// merged configuration; 1 when the file content changed (or the file is
// new), 0 when it did not.
int saveConfOut(VcfgContext& ctx, const std::string& domainName, ValueObject* tree);
// Writes value to path (pretty JSON, through .new and .bak); 1 when the
// content changed or the file is new, 0 when unchanged, 2 when the result
// could not be compared.
int saveValueFile(const ValueGeneric* value, const std::string& path);
// Property name of tree; null when missing and -N, else exit 3; exit 2 when
// it is not an object.
ValueObject* innerObject(ValueObject* tree, const std::string& name);
// The domain just below the named one (null for the lowest), through found.
AdministrativeDomain* lowerDomainOf(const VcfgContext& ctx, const std::string& name, bool& found);

// The property paths a command works on: the command-line id first, then
// the -f lines (JSON-decoded in the JSON formats); the empty path when there
// is neither.
std::vector<PropertyPath> commandPropertyPaths(const VcfgContext& ctx);

int vcfgDomain(VcfgContext& ctx);
int vcfgSubsystem(VcfgContext& ctx);
int vcfgMerge(VcfgContext& ctx);
int vcfgCommit(VcfgContext& ctx);
int vcfgGet(VcfgContext& ctx);
int vcfgSet(VcfgContext& ctx);
int vcfgDefault(VcfgContext& ctx);
int vcfgDelete(VcfgContext& ctx);
int vcfgGenerate(VcfgContext& ctx);
int vcfgRestart(VcfgContext& ctx);
int vcfgApply(VcfgContext& ctx);

} // namespace Vantor_cfgmgr
