// Reading the input file into a value tree.
#include "Vantor_cfgmgr/Vantor_cfgmgr.h"

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <system_error>

namespace realmgen {

Vantor_cfgmgr::ValueGeneric* loadJsonFile(const char* fileName)
{
    char* raw = nullptr;
    uint64_t size = 0;
    if (Vantor_util::file_to_buffer(fileName, &raw, &size) != 0) {
        throw std::system_error(errno, std::generic_category(), fileName);
    }
    std::unique_ptr<char, void (*)(void*)> buffer(raw, std::free);
    if (size == 0) {
        throw std::runtime_error("fileName empty");
    }
    rapidjson::Document document;
    document.Parse(buffer.get(), size);
    if (document.HasParseError()) {
        Vantor_cfgmgr::ValueGeneric::ParseResultDiag(rapidjson::ParseResult(document.GetParseError(), document.GetErrorOffset()), fileName, Vantor_cfgmgr::ErrorStream());
        throw std::runtime_error("JSON Parse Error");
    }
    return Vantor_cfgmgr::ValueGeneric::NewValueGeneric(&document);
}

} // namespace realmgen
