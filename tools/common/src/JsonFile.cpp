// Builds value trees straight from the parser's events, so a large file is
// never held twice (text and document) in memory.
#include "tools_common/JsonFile.h"

#include "tools_common/EnvironmentFile.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace Vantor_cfgmgr {

namespace {

// Deeper trees are refused: the recursive walks over a tree (destroy,
// compare, write) would run out of stack.
constexpr size_t kMaxNesting = 1000;

class TreeBuilder : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, TreeBuilder> {
public:
    ~TreeBuilder()
    {
        std::free(pendingName_);
    }

    bool Null() { return AddScalar(new ValueNull()); }
    bool Bool(bool b) { return AddScalar(new ValueBool(b)); }
    bool Int(int i) { return AddScalar(new ValueInt(i)); }
    bool Uint(unsigned u) { return AddScalar(new ValueUint(u)); }
    bool Int64(int64_t i) { return AddScalar(new ValueInt64(i)); }
    bool Uint64(uint64_t u) { return AddScalar(new ValueUint64(u)); }
    bool Double(double d) { return AddScalar(new ValueDouble(d)); }
    bool RawNumber(const char* text, rapidjson::SizeType length, bool copy)
    {
        return AddScalar(new ValueRawNumber(text, length, copy));
    }
    bool String(const char* text, rapidjson::SizeType length, bool)
    {
        return AddScalar(new ValueString(text, length, true));
    }
    bool Key(const char* text, rapidjson::SizeType length, bool)
    {
        if (std::strlen(text) != length) {
            std::fputs("*** Embedded 0x00 not allowed in Key\n", ErrorStream());
            return false;
        }
        std::free(pendingName_);
        pendingName_ = strndup(text, length);
        if (pendingName_ == nullptr) {
            throw std::bad_alloc();
        }
        return true;
    }
    bool StartObject() { return StartContainer(new ValueObject()); }
    bool StartArray() { return StartContainer(new ValueArray()); }
    bool EndObject(rapidjson::SizeType members)
    {
        ValueObject* top = nullptr;
        if (stack_.empty() || !stack_.back()->AsObject(top)) {
            std::fputs("*** Object expected but not found on JSON element stack\n", ErrorStream());
            return false;
        }
        if (top->GetPropertyCount() != members) {
            std::fprintf(ErrorStream(), "*** Object expected %d members, had %d members\n", static_cast<int>(members),
                         static_cast<int>(top->GetPropertyCount()));
            return false;
        }
        stack_.pop_back();
        return true;
    }
    bool EndArray(rapidjson::SizeType elements)
    {
        ValueArray* top = nullptr;
        if (stack_.empty() || !stack_.back()->AsArray(top)) {
            std::fputs("*** Array expected but not found on JSON element stack\n", ErrorStream());
            return false;
        }
        if (top->GetElementCount() != elements) {
            std::fprintf(ErrorStream(), "*** Array expected %d elements, had %d elements\n", static_cast<int>(elements),
                         static_cast<int>(top->GetElementCount()));
            return false;
        }
        stack_.pop_back();
        return true;
    }

    ValueGeneric* TakeRoot() { return root_.release(); }

private:
    bool StartContainer(ValueGeneric* container)
    {
        if (stack_.size() >= kMaxNesting) {
            container->Release();
            std::fputs("*** JSON nesting too deep\n", ErrorStream());
            return false;
        }
        if (!root_) {
            root_.reset(container);
        } else if (!AddScalar(container)) {
            return false;
        }
        stack_.push_back(container);
        return true;
    }

    bool AddScalar(ValueGeneric* v)
    {
        if (!root_) {
            v->Release();
            std::fputs("*** First JSON element must be an Object\n", ErrorStream());
            return false;
        }
        ValueGeneric* top = stack_.empty() ? nullptr : stack_.back();
        ValueObject* object = nullptr;
        ValueArray* array = nullptr;
        if (top != nullptr && top->AsObject(object)) {
            object->SetProperty(pendingName_, v, false);
            pendingName_ = nullptr;
            return true;
        }
        if (top != nullptr && top->AsArray(array)) {
            array->AddElement(v);
            return true;
        }
        v->Release();
        std::fputs("*** Unrecognized JSON Container\n", ErrorStream());
        return false;
    }

    Ref<ValueGeneric> root_;
    std::vector<ValueGeneric*> stack_;
    char* pendingName_ = nullptr;
};

} // namespace

ValueGeneric* loadJsonFile(const char* fileName)
{
    if (fileName == nullptr || *fileName == '\0') {
        throw std::invalid_argument("fileName must be non-NULL and non-empty");
    }
    char* raw = nullptr;
    uint64_t size = 0;
    if (Vantor_util::file_to_buffer(fileName, &raw, &size) != 0) {
        throw std::runtime_error("fileName not found");
    }
    std::unique_ptr<char, FreeBuffer> buffer(raw);
    if (raw == nullptr || size == 0) {
        errno = ENODATA;
        throw std::runtime_error("fileName empty");
    }
    TreeBuilder builder;
    rapidjson::Reader reader;
    rapidjson::StringStream input(raw);
    rapidjson::ParseResult result = reader.Parse(input, builder);
    buffer.reset();
    if (result.IsError()) {
        ValueGeneric::ParseResultDiag(result, fileName, ErrorStream());
        // Callers tell a missing file (ENOENT, ENODATA) from a broken one by
        // errno; a stale ENOENT left from an earlier call must not make a
        // malformed file look absent.
        errno = EBADMSG;
        throw std::runtime_error("JSON Parse Error");
    }
    return builder.TakeRoot();
}

} // namespace Vantor_cfgmgr
