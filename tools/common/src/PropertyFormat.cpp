#include "tools_common/PropertyFormat.h"

#include <vector>

namespace Vantor_cfgmgr {

namespace {

std::string compactJson(const ValueGeneric* value)
{
    if (value == nullptr) {
        return "null";
    }
    rapidjson::StringBuffer buffer;
    Writer writer(buffer);
    value->Write(&writer);
    return std::string(buffer.GetString(), buffer.GetSize());
}

std::string prettyJson(const ValueGeneric* value)
{
    if (value == nullptr) {
        return "null";
    }
    rapidjson::StringBuffer buffer;
    PrettyWriter writer(buffer);
    writer.SetIndent(' ', 4);
    value->PrettyWrite(&writer);
    return std::string(buffer.GetString(), buffer.GetSize());
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

} // namespace

std::string jsonQuoted(const std::string& name)
{
    std::vector<char> encoded(2 * name.size() + 3);
    if (Vantor_util::toSafeJSON(encoded.data(), encoded.size(), name.c_str()) != 0) {
        // Only texts with rare control characters outgrow the buffer; the
        // writer escapes those as \u00XX.
        rapidjson::StringBuffer buffer;
        Writer writer(buffer);
        writer.String(name.c_str(), static_cast<rapidjson::SizeType>(name.size()));
        return std::string(buffer.GetString(), buffer.GetSize());
    }
    return std::string(encoded.data());
}

std::string urlValueText(const ValueGeneric* value)
{
    if (value == nullptr) {
        return "null";
    }
    if (const ValueString* s = value->AsString()) {
        const char* text = s->GetValue() != nullptr ? s->GetValue() : "";
        const size_t length = s->GetLength();
        if (length > 0 && (isBlank(text[0]) || isBlank(text[length - 1]))) {
            return "\\" + compactJson(value);
        }
        return std::string(text, length);
    }
    if (value->IsObject() || value->IsArray()) {
        return "\\" + compactJson(value);
    }
    if (const ValueIntegralNumber* n = value->AsIntegralNumber()) {
        if (n->IsNonNegative()) {
            return "+" + compactJson(value);
        }
    }
    return compactJson(value);
}

std::string urlValueToJson(const std::string& text)
{
    size_t start = text.find_first_not_of(" \t");
    if (start != std::string::npos) {
        const char c = text[start];
        if (c == '-') {
            return text.substr(start);
        }
        if (c == '+') {
            return text.substr(start + 1);
        }
        if (c == '\\' && start + 1 < text.size()) {
            const char n = text[start + 1];
            if (n == '[' || n == '{' || n == '"') {
                return text.substr(start + 1);
            }
        }
    }
    return jsonQuoted(text);
}

std::string formatPropertyValue(const ValueGeneric* value, PropertyFormat_t format)
{
    switch (format) {
    case formatURL:
        return urlValueText(value);
    case formatObjectJSON:
        return prettyJson(value);
    case formatLineJSON:
    default:
        return compactJson(value);
    }
}

PropertyPrinter::PropertyPrinter(FILE* out, PropertyFormat_t format, bool noName)
    : out_(out), format_(format), noName_(noName)
{
}

void PropertyPrinter::Begin()
{
    if (format_ == formatLineJSON) {
        std::fputs("{", out_);
    } else if (format_ == formatObjectJSON) {
        std::fputs("{\n", out_);
    }
}

void PropertyPrinter::Entry(const std::string& name, const ValueGeneric* value)
{
    static const char* const between[] = {"\n", ",", ",\n"};
    static const char* const nameSeparator[] = {"=", ":", ": "};
    if (count_++ > 0) {
        std::fputs(between[format_], out_);
    }
    if (!noName_) {
        std::string shown = format_ == formatURL ? name : jsonQuoted(name);
        std::fputs(shown.c_str(), out_);
        std::fputs(nameSeparator[format_], out_);
    }
    std::string text = formatPropertyValue(value, format_);
    std::fwrite(text.data(), 1, text.size(), out_);
}

void PropertyPrinter::End()
{
    if (format_ == formatURL) {
        if (count_ > 0) {
            std::fputs("\n", out_);
        }
    } else if (format_ == formatLineJSON) {
        std::fputs("}\n", out_);
    } else {
        std::fputs("\n}\n", out_);
    }
}

} // namespace Vantor_cfgmgr
