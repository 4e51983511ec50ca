// Pretty JSON of a value tree, written straight into a file.
//
// The text is byte for byte what rapidjson's PrettyWriter with a four-space
// indent writes (stored files are compared with their backups, so a change
// of layout would read as a change of content). It is written here rather
// than through the PrettyWriter because saving a merged configuration of
// hundreds of megabytes was dominated by that writer's per-character work:
// this one copies runs of plain text and indentation in blocks.
#include "tools_common/JsonFile.h"

#include <cmath>
#include <cstring>
#include <rapidjson/internal/dtoa.h>
#include <rapidjson/internal/itoa.h>
#include <vector>

namespace Vantor_cfgmgr {

namespace {

constexpr unsigned kIndent = 4;

class PrettyFileWriter {
public:
    explicit PrettyFileWriter(FILE* file) : file_(file), buffer_(kBufferSize) {}
    PrettyFileWriter(const PrettyFileWriter&) = delete;
    PrettyFileWriter& operator=(const PrettyFileWriter&) = delete;

    bool Value(const ValueGeneric* value, unsigned depth);
    // False when the file refused a write.
    bool Flush();

private:
    static constexpr size_t kBufferSize = 1 << 18;
    // Room enough for the largest piece written without a check per byte:
    // a number, or an escaped character.
    static constexpr size_t kSlack = 64;

    void Reserve(size_t n)
    {
        if (used_ + n > buffer_.size()) {
            Drain();
            if (n > buffer_.size()) {
                buffer_.resize(n);
            }
        }
    }
    void Put(char c)
    {
        Reserve(1);
        buffer_[used_++] = c;
    }
    void Put(const char* text, size_t n)
    {
        Reserve(n);
        std::memcpy(buffer_.data() + used_, text, n);
        used_ += n;
    }
    void NewLine(unsigned depth);
    void String(const char* text, size_t length);
    bool Object(const ValueObject* object, unsigned depth);
    bool Array(const ValueArray* array, unsigned depth);
    bool Number(const ValueIntegralNumber* number);
    bool Double(double d);
    void Drain();

    FILE* file_;
    std::vector<char> buffer_;
    size_t used_ = 0;
    bool failed_ = false;
};

void PrettyFileWriter::Drain()
{
    if (used_ != 0 && std::fwrite(buffer_.data(), 1, used_, file_) != used_) {
        failed_ = true;
    }
    used_ = 0;
}

bool PrettyFileWriter::Flush()
{
    Drain();
    return !failed_;
}

void PrettyFileWriter::NewLine(unsigned depth)
{
    const size_t n = static_cast<size_t>(depth) * kIndent;
    Reserve(n + 1);
    buffer_[used_++] = '\n';
    std::memset(buffer_.data() + used_, ' ', n);
    used_ += n;
}

// JSON string escapes: the two-character forms for \b \t \n \f \r, \u00XX
// for the other control characters, a backslash before '"' and '\'; all
// other bytes (UTF-8 included) as they are.
void PrettyFileWriter::String(const char* text, size_t length)
{
    static const char kEscape[32] = {'u', 'u', 'u', 'u', 'u', 'u', 'u', 'u', 'b', 't', 'n', 'u', 'f', 'r', 'u', 'u',
                                     'u', 'u', 'u', 'u', 'u', 'u', 'u', 'u', 'u', 'u', 'u', 'u', 'u', 'u', 'u', 'u'};
    static const char kHex[] = "0123456789ABCDEF";
    Put('"');
    size_t start = 0;
    for (size_t i = 0; i < length; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c != '"' && c != '\\') {
            continue;
        }
        Put(text + start, i - start);
        start = i + 1;
        Reserve(6);
        buffer_[used_++] = '\\';
        if (c >= 0x20) {
            buffer_[used_++] = static_cast<char>(c);
            continue;
        }
        buffer_[used_++] = kEscape[c];
        if (kEscape[c] == 'u') {
            buffer_[used_++] = '0';
            buffer_[used_++] = '0';
            buffer_[used_++] = kHex[c >> 4];
            buffer_[used_++] = kHex[c & 0xF];
        }
    }
    Put(text + start, length - start);
    Put('"');
}

bool PrettyFileWriter::Object(const ValueObject* object, unsigned depth)
{
    if (object->IsEmpty()) {
        Put("{}", 2);
        return true;
    }
    Put('{');
    bool first = true;
    for (const auto& [name, property] : object->GetProperties()) {
        if (!first) {
            Put(',');
        }
        first = false;
        NewLine(depth + 1);
        String(name, std::strlen(name));
        Put(": ", 2);
        if (!Value(property, depth + 1)) {
            return false;
        }
    }
    NewLine(depth);
    Put('}');
    return true;
}

bool PrettyFileWriter::Array(const ValueArray* array, unsigned depth)
{
    if (array->GetElementCount() == 0) {
        Put("[]", 2);
        return true;
    }
    Put('[');
    bool first = true;
    for (const ValueGeneric* element : array->GetElements()) {
        if (!first) {
            Put(',');
        }
        first = false;
        NewLine(depth + 1);
        if (!Value(element, depth + 1)) {
            return false;
        }
    }
    NewLine(depth);
    Put(']');
    return true;
}

bool PrettyFileWriter::Number(const ValueIntegralNumber* number)
{
    Reserve(kSlack);
    char* out = buffer_.data() + used_;
    char* end = out;
    switch (number->GetSubtype()) {
    case subtypeInt: end = rapidjson::internal::i32toa(number->GetInt(), out); break;
    case subtypeUint: end = rapidjson::internal::u32toa(number->GetUint(), out); break;
    case subtypeInt64: end = rapidjson::internal::i64toa(number->GetInt64(), out); break;
    case subtypeUint64: end = rapidjson::internal::u64toa(number->GetUint64(), out); break;
    default: return false;
    }
    used_ += static_cast<size_t>(end - out);
    return true;
}

bool PrettyFileWriter::Double(double d)
{
    if (!std::isfinite(d)) {
        return false; // JSON has no NaN or infinity
    }
    Reserve(kSlack);
    char* out = buffer_.data() + used_;
    used_ += static_cast<size_t>(rapidjson::internal::dtoa(d, out) - out);
    return true;
}

bool PrettyFileWriter::Value(const ValueGeneric* value, unsigned depth)
{
    if (const ValueObject* object = value->AsObject()) {
        return Object(object, depth);
    }
    if (const ValueString* string = value->AsString()) {
        String(string->GetValue() != nullptr ? string->GetValue() : "", string->GetLength());
        return true;
    }
    if (const ValueIntegralNumber* number = value->AsIntegralNumber()) {
        return Number(number);
    }
    if (const ValueDouble* d = value->AsDouble()) {
        return Double(d->GetValue());
    }
    if (const ValueBool* b = value->AsBool()) {
        b->GetValue() ? Put("true", 4) : Put("false", 5);
        return true;
    }
    if (const ValueArray* array = value->AsArray()) {
        return Array(array, depth);
    }
    if (const ValueRawNumber* raw = value->AsRawNumber()) {
        // Kept as the text it was read as, so written as a string.
        String(raw->GetValue() != nullptr ? raw->GetValue() : "", raw->GetLength());
        return true;
    }
    Put("null", 4);
    return true;
}

} // namespace

PrettyJsonResult writePrettyJson(const ValueGeneric* value, FILE* file)
{
    PrettyFileWriter writer(file);
    if (!writer.Value(value, 0)) {
        return PrettyJsonResult::notJson;
    }
    return writer.Flush() ? PrettyJsonResult::written : PrettyJsonResult::writeFailed;
}

} // namespace Vantor_cfgmgr
