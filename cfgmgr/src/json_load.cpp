// Reading JSON files into value trees through rapidjson's SAX reader.
#include "Vantor_cfgmgr/GenericSAX.h"
#include "Vantor_cfgmgr/Vantor_cfgmgr.h"
#include "format.h"
#include "names.h"
#include "number_text.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <rapidjson/reader.h>

namespace Vantor_cfgmgr {

GenericSAX::~GenericSAX()
{
    if (pendingName_ != nullptr) {
        detail::ReleaseName(pendingName_);
    }
    for (const PropertyEntry& m : members_) {
        m.second->Release();
        detail::ReleaseName(m.first);
    }
    if (root_ != nullptr) {
        root_->Release();
    }
    detail::ReleaseCachedNames(recentNames_.data(), recentNames_.size());
}

ValueGeneric* GenericSAX::ReleaseRoot()
{
    ValueGeneric* r = root_;
    root_ = nullptr;
    stack_.clear();
    return r;
}

ValueObject* GenericSAX::TopObject() const
{
    if (stack_.empty()) {
        return nullptr;
    }
    ValueObject* o = nullptr;
    stack_.back().container->AsObject(o);
    return o;
}

ValueArray* GenericSAX::TopArray() const
{
    if (stack_.empty()) {
        return nullptr;
    }
    ValueArray* a = nullptr;
    stack_.back().container->AsArray(a);
    return a;
}

bool GenericSAX::AddScalar(ValueGeneric* v)
{
    Ref<ValueGeneric> value(v);
    if (root_ == nullptr) {
        std::fputs("*** First JSON element must be an Object\n", ErrorStream());
        return false;
    }
    if (TopObject() != nullptr) {
        if (pendingName_ == nullptr) {
            std::fputs("*** Empty Key not allowed.\n", ErrorStream());
            return false;
        }
        members_.emplace_back(pendingName_, value.get());
        value.release();
        pendingName_ = nullptr;
        return true;
    }
    if (ValueArray* a = TopArray()) {
        a->AddElement(value.release());
        return true;
    }
    std::fputs("*** Unrecognized JSON Container\n", ErrorStream());
    return false;
}

bool GenericSAX::CheckNesting(size_t openContainers)
{
    if (openContainers >= detail::kMaxNesting) {
        std::fprintf(ErrorStream(), "*** JSON nesting deeper than %u levels not allowed\n", detail::kMaxNesting);
        return false;
    }
    return true;
}

bool GenericSAX::StartContainer(ValueGeneric* container)
{
    if (!CheckNesting(stack_.size())) {
        container->Release();
        return false;
    }
    // Room first, so that once the container is placed nothing can fail.
    try {
        stack_.reserve(stack_.size() + 1);
    } catch (...) {
        container->Release();
        throw;
    }
    if (root_ == nullptr) {
        root_ = container;
    } else if (!AddScalar(container)) {
        return false;
    }
    stack_.push_back(OpenContainer{container, members_.size()});
    return true;
}

bool GenericSAX::Null() { return AddScalar(new ValueNull()); }
bool GenericSAX::Bool(bool b) { return AddScalar(new ValueBool(b)); }
bool GenericSAX::Int(int i) { return AddScalar(new ValueInt(i)); }
bool GenericSAX::Uint(unsigned u) { return AddScalar(new ValueUint(u)); }
bool GenericSAX::Int64(int64_t i) { return AddScalar(new ValueInt64(i)); }
bool GenericSAX::Uint64(uint64_t u) { return AddScalar(new ValueUint64(u)); }
bool GenericSAX::Double(double d) { return AddScalar(new ValueDouble(d)); }

bool GenericSAX::RawNumber(const char* text, rapidjson::SizeType length, bool copy)
{
    return AddScalar(new ValueRawNumber(text, length, copy));
}

bool GenericSAX::CheckString(const char* text, rapidjson::SizeType length)
{
    if (text != nullptr && !Vantor_util::isStrictUtf8(text, length)) {
        std::fputs("*** Invalid UTF-8 in String\n", ErrorStream());
        return false;
    }
    return true;
}

bool GenericSAX::CheckKey(const char* text, rapidjson::SizeType length)
{
    if (text == nullptr) {
        std::fputs("*** Empty Key not allowed.\n", ErrorStream());
        return false;
    }
    if (std::strlen(text) != length) {
        std::fputs("*** Embedded 0x00 not allowed in Key\n", ErrorStream());
        return false;
    }
    if (!Vantor_util::isStrictUtf8(text, length)) {
        std::fputs("*** Invalid UTF-8 in Key\n", ErrorStream());
        return false;
    }
    return true;
}

bool GenericSAX::String(const char* text, rapidjson::SizeType length, bool copy)
{
    if (!CheckString(text, length)) {
        return false;
    }
    return AddScalar(new ValueString(text, length, copy));
}

bool GenericSAX::StartObject() { return StartContainer(new ValueObject()); }
bool GenericSAX::StartArray() { return StartContainer(new ValueArray()); }

bool GenericSAX::Key(const char* text, rapidjson::SizeType length, bool)
{
    if (!CheckKey(text, length)) {
        return false;
    }
    // Shared with every other use of the same name: no copy of its own.
    const char* name = detail::InternCached(recentNames_.data(), recentNames_.size(), text, length);
    if (pendingName_ != nullptr) {
        detail::ReleaseName(pendingName_);
    }
    pendingName_ = name;
    return true;
}

bool GenericSAX::EndObject(rapidjson::SizeType memberCount)
{
    ValueObject* o = TopObject();
    if (o == nullptr) {
        std::fputs("*** Object expected but not found on JSON element stack\n", ErrorStream());
        return false;
    }
    o->AdoptUnsorted(members_, stack_.back().firstMember);
    if (o->GetPropertyCount() != memberCount) {
        std::fprintf(ErrorStream(), "*** Object expected %d members, had %d members\n", static_cast<int>(memberCount),
                     static_cast<int>(o->GetPropertyCount()));
        return false;
    }
    stack_.pop_back();
    return true;
}

bool GenericSAX::EndArray(rapidjson::SizeType elementCount)
{
    ValueArray* a = TopArray();
    if (a == nullptr) {
        std::fputs("*** Array expected but not found on JSON element stack\n", ErrorStream());
        return false;
    }
    if (a->GetElementCount() != elementCount) {
        std::fprintf(ErrorStream(), "*** Array expected %d elements, had %d elements\n",
                     static_cast<int>(elementCount), static_cast<int>(a->GetElementCount()));
        return false;
    }
    stack_.pop_back();
    return true;
}

namespace {

// The reader's grammar with three additions: iterative parsing, so deep
// nesting cannot exhaust the stack; UTF-8 validation, so a configuration
// never holds text that is not UTF-8; and numbers as text, made into values
// by NumberText, correctly rounded, so a double written back reads as the
// same double.
constexpr unsigned kLoadFlags =
    rapidjson::kParseIterativeFlag | rapidjson::kParseValidateEncodingFlag | rapidjson::kParseNumbersAsStringsFlag;

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};

// A rapidjson input stream over a file, read in chunks so that a large file
// is never held whole in memory. The text ends at the first NUL byte, as a
// C text would: the stream then answers '\0' for good, and NulSeen() tells
// the parse that bytes remain behind it.
class ChunkedFileStream {
public:
    using Ch = char;

    explicit ChunkedFileStream(FILE* file) : file_(file) { Fill(); }

    Ch Peek() const { return *current_; }
    Ch Take()
    {
        Ch c = *current_;
        if (c != '\0') {
            Advance();
        }
        return c;
    }
    size_t Tell() const { return consumed_ + static_cast<size_t>(current_ - buffer_); }

    bool ReadFailed() const { return readError_ != 0; }
    int ReadError() const { return readError_; }
    bool NulSeen() const { return *current_ == '\0' && !atEnd_; }
    bool Empty() const { return empty_; }

    // Not used by the reader (it only reads).
    Ch* PutBegin() { return nullptr; }
    void Put(Ch) {}
    void Flush() {}
    size_t PutEnd(Ch*) { return 0; }

private:
    void Advance()
    {
        ++current_;
        if (current_ == end_) {
            Fill();
        }
    }

    void Fill()
    {
        if (atEnd_) {
            return;
        }
        consumed_ += static_cast<size_t>(end_ - buffer_);
        size_t n = std::fread(buffer_, 1, sizeof buffer_ - 1, file_);
        if (n == 0) {
            if (std::ferror(file_)) {
                readError_ = errno != 0 ? errno : EIO;
            }
            empty_ = consumed_ == 0;
            atEnd_ = true;
            buffer_[0] = '\0';
            current_ = buffer_;
            end_ = buffer_;
            return;
        }
        buffer_[n] = '\0';
        current_ = buffer_;
        end_ = buffer_ + n;
    }

    FILE* file_;
    char buffer_[65536];
    char* current_ = buffer_;
    char* end_ = buffer_;
    size_t consumed_ = 0;
    bool atEnd_ = false;
    bool empty_ = false;
    int readError_ = 0;
};

} // namespace

void GenericSAX::ParseFile(const char* fileName)
{
    if (fileName == nullptr || *fileName == '\0') {
        throw std::invalid_argument("fileName must be non-NULL and non-empty");
    }
    std::unique_ptr<FILE, FileCloser> file(std::fopen(fileName, "rb"));
    if (file == nullptr) {
        throw std::runtime_error("fileName not found"); // errno tells why
    }
    auto stream = std::make_unique<ChunkedFileStream>(file.get());
    if (stream->ReadFailed()) {
        errno = stream->ReadError();
        throw std::runtime_error("fileName not found");
    }
    if (stream->Empty()) {
        errno = ENODATA;
        throw std::runtime_error("fileName empty");
    }
    rapidjson::Reader reader;
    detail::NumberText<GenericSAX, ChunkedFileStream> numbers(*this, *stream);
    rapidjson::ParseResult result = reader.Parse<kLoadFlags>(*stream, numbers);
    numbers.Explain(result);
    if (stream->ReadFailed()) {
        errno = stream->ReadError();
        throw std::runtime_error("fileName not found");
    }
    // The reader stops at a NUL byte as if the text ended there; a NUL is
    // never valid JSON, so text up to it that parses is still refused.
    if (!result.IsError() && stream->NulSeen()) {
        result.Set(rapidjson::kParseErrorDocumentRootNotSingular, stream->Tell());
    }
    if (result.IsError()) {
        ValueGeneric::ParseResultDiag(result, fileName, stderr);
        throw std::runtime_error("JSON Parse Error");
    }
}

ValueGeneric* ValueGeneric::Load(const char* fileName)
{
    GenericSAX handler;
    handler.ParseFile(fileName);
    return handler.ReleaseRoot();
}

} // namespace Vantor_cfgmgr
