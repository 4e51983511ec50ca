// The listing commands: domain and subsystem.
#include "Vcfg.h"

#include "Vantor_cfgmgr/Lib.h"

namespace Vantor_cfgmgr {

int vcfgDomain(VcfgContext& ctx)
{
    FILE* out = OutputStream();
    bool any = false;
    for (const auto& [index, domain] : ctx.config.Domains()) {
        if (!ctx.domainName.empty() && domain->Name() != ctx.domainName) {
            continue;
        }
        any = true;
        std::fprintf(out, "%3lu: \"%s\"\n     in:  \"%s\"\n     out: \"%s\"\n", static_cast<unsigned long>(index),
                     domain->Name().c_str(), domain->DirIn().c_str(), domain->ConfOut().c_str());
    }
    if (!ctx.domainName.empty() && !any) {
        std::fprintf(out, "No such domain as \"%s\".\n", ctx.domainName.c_str());
        return 3;
    }
    return 0;
}

int vcfgSubsystem(VcfgContext& ctx)
{
    FILE* out = OutputStream();
    bool found = forEachSelectedSubsystem(ctx.config.Subsystems(), [out](size_t index, const ManagedSubsystem& sub) {
        std::fprintf(out,
                     "%3lu: \"%s\"\n     propertyFormat:   \"%s\"\n     propertyNoName:   \"%s\"\n"
                     "     propertyIdIn:     \"%s\"\n     service:          \"%s\"\n"
                     "     config generator: \"%s\"\n     config generator options: [",
                     static_cast<unsigned long>(index), sub.Name().c_str(), sub.PropertyFormat().c_str(),
                     sub.PropertyNoName() ? "true" : "false", sub.PropertyIdIn().c_str(), sub.Service().c_str(),
                     sub.CfgGenExec().c_str());
        const char* prefix = "";
        for (const std::string& opt : sub.CfgGenOpts()) {
            std::fprintf(out, "%s\"%s\"", prefix, opt.c_str());
            prefix = ",";
        }
        std::fputs("]\n", out);
        return true;
    });
    return found ? 0 : 3;
}

} // namespace Vantor_cfgmgr
