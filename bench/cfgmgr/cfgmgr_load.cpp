// Loads one configuration file and reports how long it took and how large
// the tree is, for measuring the library's footprint under /usr/bin/time -v:
//   cfgmgr_load FILE [HIGHER]
// With HIGHER, that file is loaded too and overlaid onto the first, and the
// merged tree is counted (both trees are in memory at the peak).
#include "Vantor_cfgmgr/Vantor_cfgmgr.h"

#include <chrono>
#include <cstdio>
#include <exception>

namespace {

using namespace Vantor_cfgmgr;

struct Counts {
    unsigned long properties = 0;
    unsigned long objects = 0;
};

void count(const ValueGeneric* v, Counts& c)
{
    if (const ValueObject* o = v->AsObject()) {
        ++c.objects;
        c.properties += o->GetPropertyCount();
        for (const auto& [name, child] : o->GetProperties()) {
            count(child, c);
        }
    } else if (const ValueArray* a = v->AsArray()) {
        for (const ValueGeneric* e : a->GetElements()) {
            count(e, c);
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: %s FILE [HIGHER]\n", argv[0]);
        return 2;
    }
    try {
        auto start = std::chrono::steady_clock::now();
        Ref<ValueGeneric> root(ValueGeneric::Load(argv[1]));
        auto loaded = std::chrono::steady_clock::now();
        Counts c;
        count(root.get(), c);
        std::printf("load %.3f s, %lu properties in %lu objects\n",
                    std::chrono::duration<double>(loaded - start).count(), c.properties, c.objects);
        if (argc == 3) {
            auto second = std::chrono::steady_clock::now();
            Ref<ValueGeneric> higher(ValueGeneric::Load(argv[2]));
            ValueObject* lower = nullptr;
            if (!root->AsObject(lower) || !higher->IsObject()) {
                std::fprintf(stderr, "*** both files must hold objects\n");
                return 2;
            }
            auto overlaid = std::chrono::steady_clock::now();
            lower->Overlay(higher->AsObject());
            auto done = std::chrono::steady_clock::now();
            higher.reset();
            Counts merged;
            count(root.get(), merged);
            std::printf("higher load %.3f s, overlay %.3f s, merged %lu properties in %lu objects\n",
                        std::chrono::duration<double>(overlaid - second).count(),
                        std::chrono::duration<double>(done - overlaid).count(), merged.properties, merged.objects);
        }
        auto released = std::chrono::steady_clock::now();
        root.reset();
        std::printf("release %.3f s\n",
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - released).count());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "*** %s\n", e.what());
        return 2;
    }
    return 0;
}
