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
// The domain just below the named one (null for the lowest), through found.
AdministrativeDomain* lowerDomainOf(const VcfgContext& ctx, const std::string& name, bool& found);

// The domain a command acts on (-d or its argument, else deviceSpecific)
// and, through lower, the domain below it (null for the lowest). False,
// after printing "No such domain as ...", when there is no such domain.
bool selectDomain(const VcfgContext& ctx, std::string& domainName, AdministrativeDomain*& lower);

// The property paths of the command (collectPropertyPaths).
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
