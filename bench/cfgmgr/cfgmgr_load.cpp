// Loads one configuration file and reports how long it took and how large
// the tree is, for measuring the library's footprint under /usr/bin/time -v:
//   cfgmgr_load FILE
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
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FILE\n", argv[0]);
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
