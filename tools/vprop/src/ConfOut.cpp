// Loading a subsystem's merged configuration and finding the subsystem's
// own object inside it.
#include "Vprop.h"

#include "tools_common/JsonFile.h"
#include "tools_common/PropertyPath.h"

#include "Vantor_cfgmgr/Lib.h"

#include <cerrno>
#include <stdexcept>

namespace Vantor_cfgmgr {

namespace {

// The confOut file as a tree; a file that does not exist yet, or is empty,
// holds no properties.
ValueGeneric* loadConfOutFile(const std::string& confOut)
{
    if (confOut.empty()) {
        return new ValueObject();
    }
    try {
        return loadJsonFile(confOut.c_str());
    } catch (const std::runtime_error&) {
        // A malformed file reports EBADMSG, so only a file that is really
        // absent or empty reads as an empty configuration.
        if (errno == ENOENT || errno == ENODATA) {
            return new ValueObject();
        }
        toolPerrorExit("confOut load", 2);
    }
}

} // namespace

ValueObject* loadConfOut(VpropContext& ctx, const std::string& subsystemName)
{
    PropertySubsystem* sub = ctx.config.GetSubsystem(subsystemName);
    if (sub == nullptr) {
        toolFail(2, "*** Unrecognized subsystem \"%s\"!\n", subsystemName.c_str());
    }
    if (sub->PrevConfOut() != nullptr) {
        return sub->PrevConfOut();
    }
    Ref<ValueGeneric> root(loadConfOutFile(sub->ConfOut()));
    ValueObject* object = nullptr;
    if (!root->AsObject(object)) {
        toolFail(2, "*** Top level of subsystem \"%s\" confOut file \"%s\" is not a JSON Object!\n",
                 subsystemName.c_str(), sub->ConfOut().c_str());
    }
    root.release();
    sub->SetPrevConfOut(object);
    return object;
}

ValueObject* subsystemObject(VpropContext& ctx)
{
    const std::string& name = toolOptions.subsystemName;
    return innerObject(loadConfOut(ctx, name), name);
}

} // namespace Vantor_cfgmgr
