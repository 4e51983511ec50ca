// libFuzzer target over configuration files: arbitrary bytes as a file, read
// by the tree loader and by merge's layer reader, and as the value text of
// "set" (JSON and URL forms). Besides crashes, leaks and undefined behaviour
// it checks four invariants, aborting when one fails:
//   - both readers accept and refuse the same files;
//   - a loaded tree written by the file writer reads back equal;
//   - the layer reader leaves a working tree as Overlay does, with the same
//     "changed" answer and the same first error;
//   - a value the text parser accepts, saved in a file, loads back equal:
//     set never stores what the loader refuses.
#include "LayerOverlay.h"
#include "tools_common/JsonFile.h"
#include "tools_common/PropertyFormat.h"

#include <Vantor_cfgmgr/Vantor_cfgmgr.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace {

using namespace Vantor_cfgmgr;

// A file in memory, named through /proc so that the readers open it by path.
class MemoryFile {
public:
    explicit MemoryFile(const char* name) : fd_(::memfd_create(name, MFD_CLOEXEC))
    {
        if (fd_ < 0) {
            std::abort();
        }
        path_ = "/proc/self/fd/" + std::to_string(fd_);
    }
    void Set(const void* data, size_t size) const
    {
        if (::ftruncate(fd_, 0) != 0 || ::pwrite(fd_, data, size, 0) != static_cast<ssize_t>(size)) {
            std::abort();
        }
    }
    const char* Path() const { return path_.c_str(); }

private:
    int fd_;
    std::string path_;
};

Ref<ValueGeneric> load(const char* path)
{
    try {
        return Ref<ValueGeneric>(ValueGeneric::Load(path));
    } catch (const std::runtime_error&) {
        return Ref<ValueGeneric>();
    }
}

// The tree the layers are applied to: names a layer may well use, with
// values of every kind, so that changes, additions and type errors all occur.
Ref<ValueObject> workingTree()
{
    Ref<ValueObject> tree(new ValueObject());
    tree->SetValue(R"({"a": 1, "b": "text", "c": true, "d": 1.5, "e": [1, 2], "f": null,
                      "o": {"a": 2, "o": {"b": "x"}, "deleted": false}})");
    return tree;
}

std::string compact(const ValueGeneric* value)
{
    rapidjson::StringBuffer buffer;
    Writer writer(buffer);
    value->Write(&writer);
    return buffer.GetString();
}

void checkRoundTrip(const ValueGeneric* tree, const MemoryFile& scratch)
{
    char* text = nullptr;
    size_t size = 0;
    FILE* memory = ::open_memstream(&text, &size);
    const PrettyJsonResult written = writePrettyJson(tree, memory);
    std::fclose(memory);
    if (written == PrettyJsonResult::written) {
        scratch.Set(text, size);
        Ref<ValueGeneric> again = load(scratch.Path());
        if (!again || !again->IsEqualTo(tree)) {
            std::abort();
        }
    } else if (written != PrettyJsonResult::notJson) {
        std::abort();
    }
    std::free(text);
}

void checkLayerReader(const ValueGeneric* tree, const MemoryFile& input)
{
    Ref<ValueObject> streamed = workingTree();
    LayerOverlaySAX overlay("sub", [&] { return streamed.get(); });
    bool accepted = true;
    try {
        overlay.ParseFile(input.Path());
    } catch (const std::runtime_error&) {
        accepted = false;
    }
    if (accepted != (tree != nullptr)) {
        std::abort();
    }
    const ValueObject* root = tree != nullptr ? tree->AsObject() : nullptr;
    const ValueGeneric* layerValue = root != nullptr ? root->GetProperty("sub") : nullptr;
    const ValueObject* layer = layerValue != nullptr ? layerValue->AsObject() : nullptr;
    if (!accepted || overlay.RootIsObject() != (root != nullptr) || overlay.LayerFound() != (layer != nullptr)) {
        if (accepted) {
            std::abort();
        }
        return;
    }
    if (layer == nullptr) {
        return;
    }
    Ref<ValueObject> reference = workingTree();
    std::string error;
    bool changed = false;
    try {
        changed = reference->Overlay(layer);
    } catch (const std::invalid_argument& e) {
        error = e.what();
    }
    if (error != overlay.Error().value_or("")) {
        std::abort();
    }
    if (error.empty() && (changed != overlay.Changed() || compact(reference.get()) != compact(streamed.get()))) {
        std::abort();
    }
}

// The bytes as set's value text: what the parser accepts must survive a
// file.
void checkValueText(const std::string& text, const MemoryFile& scratch)
{
    rapidjson::Document doc;
    if (ValueGeneric::ParseText(doc, text.data(), text.size()).IsError()) {
        return;
    }
    Ref<ValueObject> holder(new ValueObject());
    holder->SetProperty("v", ValueGeneric::NewValueGeneric(&doc));
    checkRoundTrip(holder.get(), scratch);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const MemoryFile input("config-input");
    static const MemoryFile scratch("config-scratch");
    input.Set(data, size);
    Ref<ValueGeneric> tree = load(input.Path());
    if (tree) {
        checkRoundTrip(tree.get(), scratch);
    }
    checkLayerReader(tree.get(), input);
    const std::string text(reinterpret_cast<const char*>(data), size);
    checkValueText(text, scratch);
    checkValueText(urlValueToJson(text), scratch);
    return 0;
}
