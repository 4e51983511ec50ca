#include "tools_common/EnvironmentFile.h"
#include "tools_common/ToolOptions.h"

#include "Vantor_cfgmgr/Vantor_cfgmgr.h"

#include <fcntl.h>
#include <rapidjson/filereadstream.h>
#include <rapidjson/schema.h>
#include <unistd.h>

namespace Vantor_cfgmgr {

namespace {

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};

rapidjson::Document parseSchema(const std::string& schemaFile)
{
    int fd = ::open(schemaFile.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        toolPerrorExit("env schema open", 3);
    }
    std::unique_ptr<FILE, FileCloser> stream(::fdopen(fd, "r"));
    if (!stream) {
        ::close(fd);
        toolPerrorExit("schema open", 3);
    }
    char chunk[4096];
    rapidjson::FileReadStream input(stream.get(), chunk, sizeof chunk);
    rapidjson::Document schema;
    schema.ParseStream(input);
    if (schema.HasParseError()) {
        ValueGeneric::ParseResultDiag(rapidjson::ParseResult(schema.GetParseError(), schema.GetErrorOffset()),
                                      schemaFile.c_str(), ErrorStream());
        std::exit(2);
    }
    return schema;
}

std::string pointerText(const rapidjson::Pointer& pointer)
{
    rapidjson::StringBuffer buffer;
    pointer.Stringify(buffer);
    return std::string(buffer.GetString(), buffer.GetSize());
}

} // namespace

EnvironmentText readEnvironmentFile(const std::string& envFile)
{
    EnvironmentText env;
    char* raw = nullptr;
    if (Vantor_util::file_to_buffer(envFile.c_str(), &raw, &env.size) == -1) {
        toolPerrorExit("env open", 3);
    }
    env.text.reset(raw);
    return env;
}

void checkEnvironmentSchema(const char* programPath, const std::string& envFile, const std::string& schemaFile)
{
    EnvironmentText env = readEnvironmentFile(envFile);
    rapidjson::Document schemaJson = parseSchema(schemaFile);
    rapidjson::SchemaDocument schema(schemaJson);
    rapidjson::SchemaValidator validator(schema);
    rapidjson::Reader reader;
    rapidjson::StringStream input(env.text.get());
    rapidjson::ParseResult result = reader.Parse(input, validator);
    if (!result.IsError() && validator.IsValid()) {
        std::fprintf(OutputStream(), "%s environment file \"%s\" conforms to schema\n", programPath,
                     envFile.c_str());
        std::exit(0);
    }
    if (result.IsError()) {
        ValueGeneric::ParseResultDiag(result, envFile.c_str(), ErrorStream());
    }
    if (!validator.IsValid()) {
        toolError("Invalid environment schema pointer: %s\n",
                  pointerText(validator.GetInvalidSchemaPointer()).c_str());
        toolError("Invalid environment schema keyword: %s\n", validator.GetInvalidSchemaKeyword());
        toolError("Invalid environment pointer: %s\n", pointerText(validator.GetInvalidDocumentPointer()).c_str());
    }
    std::exit(2);
}

} // namespace Vantor_cfgmgr
