// Building values from rapidjson DOM values, and parse diagnostics.
#include "Vantor_cfgmgr/GenericSAX.h"
#include "Vantor_cfgmgr/Vantor_cfgmgr.h"
#include "format.h"
#include "number_text.h"
#include "names.h"

#include <cstring>

namespace Vantor_cfgmgr {

namespace {

const Vantor_util::EnumPair_t parseErrorTable[] = {
    {0, "No error."},
    {1, "The document is empty."},
    {2, "The document root must not be followed by other values."},
    {3, "Invalid value."},
    {4, "Missing a name for object member."},
    {5, "Missing a colon after a name of object member."},
    {6, "Missing a comma or '}' after an object member."},
    {7, "Missing a comma or ']' after an array element."},
    {8, "Incorrect hex digit after \\u escape in string."},
    {9, "The surrogate pair in string is invalid."},
    {10, "Invalid escape character in string."},
    {11, "Missing a closing quotation mark in string."},
    {12, "Invalid encoding in string."},
    {13, "Number too big to be stored in double."},
    {14, "Missing fraction part in number."},
    {15, "Missing exponent in number."},
    {16, "Parsing was terminated."},
    {17, "Unspecific syntax error."},
    {-1, nullptr},
};

// A member name is stored as a C text, so one with an embedded NUL cannot be
// represented faithfully.
bool nameIsStorable(const JsonValue& name)
{
    return std::strlen(name.GetString()) == name.GetStringLength();
}

} // namespace

bool detail::exceedsNesting(const char* text, size_t length)
{
    unsigned depth = 0;
    bool inString = false;
    for (size_t i = 0; i < length; ++i) {
        char c = text[i];
        if (inString) {
            if (c == '\\') {
                ++i;
            } else if (c == '"') {
                inString = false;
            }
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > kMaxNesting) {
                return true;
            }
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
    return false;
}

namespace {

// Texts pass the checks of file loading before they reach handler, so a
// value parsed from text holds nothing its file could not hold: a value
// set from a command line is saved as a file that loads again.
template <class Handler>
class CheckedText {
public:
    explicit CheckedText(Handler& handler) : handler_(handler) {}

    bool Null() { return handler_.Null(); }
    bool Bool(bool b) { return handler_.Bool(b); }
    bool Int(int i) { return handler_.Int(i); }
    bool Uint(unsigned u) { return handler_.Uint(u); }
    bool Int64(int64_t i) { return handler_.Int64(i); }
    bool Uint64(uint64_t u) { return handler_.Uint64(u); }
    bool Double(double d) { return handler_.Double(d); }
    bool RawNumber(const char* text, rapidjson::SizeType length, bool copy)
    {
        return handler_.RawNumber(text, length, copy);
    }
    bool String(const char* text, rapidjson::SizeType length, bool copy)
    {
        return GenericSAX::CheckString(text, length) && handler_.String(text, length, copy);
    }
    bool StartObject() { return handler_.StartObject(); }
    bool Key(const char* text, rapidjson::SizeType length, bool copy)
    {
        return GenericSAX::CheckKey(text, length) && handler_.Key(text, length, copy);
    }
    bool EndObject(rapidjson::SizeType members) { return handler_.EndObject(members); }
    bool StartArray() { return handler_.StartArray(); }
    bool EndArray(rapidjson::SizeType elements) { return handler_.EndArray(elements); }

private:
    Handler& handler_;
};

// The reader's flags of file loading (but for the stream, which is memory).
constexpr unsigned kTextFlags =
    rapidjson::kParseIterativeFlag | rapidjson::kParseValidateEncodingFlag | rapidjson::kParseNumbersAsStringsFlag;

// The reader itself, once the nesting is known to be within the limit.
// Numbers come as text and are made by NumberText, and texts are checked,
// as when files are loaded; Populate then takes the one root the events
// built.
rapidjson::ParseResult parseWithinNesting(rapidjson::Document& doc, const char* jsonText, size_t length)
{
    rapidjson::MemoryStream memory(jsonText, length);
    rapidjson::EncodedInputStream<rapidjson::UTF8<>, rapidjson::MemoryStream> stream(memory);
    rapidjson::ParseResult result;
    auto generate = [&](rapidjson::Document& handler) {
        CheckedText<rapidjson::Document> checked(handler);
        detail::NumberText<CheckedText<rapidjson::Document>, decltype(stream)> numbers(checked, stream);
        rapidjson::Reader reader;
        result = reader.Parse<kTextFlags>(stream, numbers);
        numbers.Explain(result);
        return !result.IsError();
    };
    doc.Populate(generate);
    return result;
}

// The refusal of text nested too deep, before any DOM is built.
bool refuseDeepNesting(const char* jsonText, size_t length)
{
    if (!detail::exceedsNesting(jsonText, length)) {
        return false;
    }
    std::fprintf(ErrorStream(), "*** JSON nesting deeper than %u levels not allowed\n", detail::kMaxNesting);
    return true;
}

} // namespace

rapidjson::ParseResult ValueGeneric::ParseText(rapidjson::Document& doc, const char* jsonText, size_t length)
{
    if (jsonText == nullptr) {
        return rapidjson::ParseResult(rapidjson::kParseErrorDocumentEmpty, 0);
    }
    if (refuseDeepNesting(jsonText, length)) {
        return rapidjson::ParseResult(rapidjson::kParseErrorTermination, 0);
    }
    return parseWithinNesting(doc, jsonText, length);
}

int detail::parseText(rapidjson::Document& doc, const char* jsonText, size_t length)
{
    if (refuseDeepNesting(jsonText, length)) {
        return rapidjson::kParseErrorTermination;
    }
    const rapidjson::ParseResult result = parseWithinNesting(doc, jsonText, length);
    if (result.IsError()) {
        ValueGeneric::ParseResultDiag(result, jsonText, stderr);
        return result.Code();
    }
    return 0;
}

const Vantor_util::EnumImage_c& ValueGeneric::ParseErrorCodeImage()
{
    static const Vantor_util::EnumImage_c image(parseErrorTable);
    return image;
}

void ValueGeneric::ParseResultDiag(const rapidjson::ParseResult& result, const char* sourceName, FILE* out)
{
    if (out == nullptr) {
        out = stderr;
    }
    const char* source = sourceName != nullptr ? sourceName : "";
    if (!result.IsError()) {
        std::fprintf(out, "Successful read of JSON source \"%s\"\n", source);
        return;
    }
    std::fprintf(out, "*** JSON Parse Error \"%s\" at offset %lu of \"%s\"\n",
                 ParseErrorCodeImage().GetImageSafe(result.Code()), static_cast<unsigned long>(result.Offset()),
                 source);
}

ValueGeneric* ValueGeneric::NewValueGeneric(const JsonValue* newValue)
{
    if (newValue == nullptr) {
        return nullptr;
    }
    Ref<ValueGeneric> v;
    if (newValue->IsNull()) {
        v.reset(new ValueNull());
    } else if (newValue->IsBool()) {
        v.reset(new ValueBool());
    } else if (newValue->IsInt()) {
        v.reset(new ValueInt());
    } else if (newValue->IsUint()) {
        v.reset(new ValueUint());
    } else if (newValue->IsInt64()) {
        v.reset(new ValueInt64());
    } else if (newValue->IsUint64()) {
        v.reset(new ValueUint64());
    } else if (newValue->IsDouble()) {
        v.reset(new ValueDouble());
    } else if (newValue->IsString()) {
        v.reset(new ValueString());
    } else if (newValue->IsObject()) {
        v.reset(new ValueObject());
    } else if (newValue->IsArray()) {
        v.reset(new ValueArray());
    } else {
        throw std::invalid_argument("unexpected type of newValue");
    }
    int result = v->SetValue(newValue);
    if (result != 0) {
        std::fprintf(stderr, "*** JSON Parse Error \"%s\" in NewValueGeneric()\n",
                     ParseErrorCodeImage().GetImageSafe(result));
        return nullptr;
    }
    return v.release();
}

int ValueObject::SetValue(const JsonValue* newValue)
{
    detail::requireNotNull(newValue, "newValue must not be NULL");
    if (!newValue->IsObject()) {
        return 3;
    }
    // Built aside and swapped in, so a refused member leaves us unchanged;
    // the members are gathered first and sorted once.
    struct Gathered {
        Entries entries;
        ~Gathered()
        {
            for (const PropertyEntry& e : entries) {
                e.second->Release();
                detail::ReleaseName(e.first);
            }
        }
    } members;
    members.entries.reserve(newValue->MemberCount());
    for (const auto& m : newValue->GetObject()) {
        if (!nameIsStorable(m.name)) {
            return 3;
        }
        Ref<ValueGeneric> v(NewValueGeneric(&m.value));
        if (!v) {
            return 3;
        }
        const char* name = detail::InternName(m.name.GetString(), m.name.GetStringLength());
        members.entries.emplace_back(name, v.release()); // reserved: cannot throw
    }
    Ref<ValueObject> fresh(new ValueObject());
    fresh->AdoptUnsorted(members.entries, 0);
    Clear();
    properties_.entries_.swap(fresh->properties_.entries_);
    detail::raiseToObjectClass(*this);
    return 0;
}

int ValueArray::SetValue(const JsonValue* newValue)
{
    detail::requireNotNull(newValue, "newValue must not be NULL");
    if (!newValue->IsArray()) {
        return 3;
    }
    Ref<ValueArray> fresh(new ValueArray());
    for (const auto& e : newValue->GetArray()) {
        ValueGeneric* v = NewValueGeneric(&e);
        if (v == nullptr) {
            return 3;
        }
        fresh->AddElement(v);
    }
    Clear();
    elements_.swap(fresh->elements_);
    for (ValueGeneric* v : elements_) {
        if (v->GetAccessClass() < GetAccessClass()) {
            v->SetAccessClass(GetAccessClass());
        }
    }
    return 0;
}

// ---- in-place updates of existing properties

int ValueObject::SetValueInSitu(const ValueObject* source)
{
    if (source == nullptr) {
        return 3;
    }
    // Check everything first so that a refusal changes nothing.
    for (const auto& [name, value] : source->properties_) {
        ValueGeneric* mine = GetProperty(name);
        if (mine == nullptr) {
            return 4;
        }
        if (!mine->IsTypeCompatible(value)) {
            return 3;
        }
    }
    for (const auto& [name, value] : source->properties_) {
        int r = GetProperty(name)->SetValue(value);
        if (r != 0) {
            return r;
        }
    }
    return 0;
}

int ValueObject::SetValueInSitu(const JsonValue* source)
{
    if (source == nullptr || !source->IsObject()) {
        return 3;
    }
    for (const auto& m : source->GetObject()) {
        if (!nameIsStorable(m.name)) {
            return 4;
        }
        ValueGeneric* mine = GetProperty(m.name.GetString());
        if (mine == nullptr) {
            return 4;
        }
        if (!mine->IsTypeCompatible(&m.value)) {
            return 3;
        }
    }
    for (const auto& m : source->GetObject()) {
        int r = GetProperty(m.name.GetString())->SetValue(&m.value);
        if (r != 0) {
            return r;
        }
    }
    return 0;
}

int ValueObject::SetValueInSitu(const char* jsonText)
{
    detail::requireNotNull(jsonText, "jsonText must not be NULL");
    return SetValueInSitu(jsonText, std::strlen(jsonText));
}

int ValueObject::SetValueInSitu(const char* jsonText, size_t length)
{
    detail::requireNotNull(jsonText, "jsonText must not be NULL");
    rapidjson::MemoryPoolAllocator<> allocator(1024);
    rapidjson::Document doc(&allocator);
    if (int r = detail::parseText(doc, jsonText, length); r != 0) {
        return r;
    }
    return SetValueInSitu(static_cast<const JsonValue*>(&doc));
}

} // namespace Vantor_cfgmgr
