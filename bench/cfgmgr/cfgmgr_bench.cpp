// Speed of the configuration library on a configuration of realistic size:
// loading a file, writing it, and computing and applying a layer.
#include "Vantor_cfgmgr/Vantor_cfgmgr.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>
#include <unistd.h>

namespace {

using namespace Vantor_cfgmgr;

// subsystems x properties, each property an object of a few scalars.
ValueObject* makeConfig(int subsystems, int properties, int salt)
{
    auto* root = new ValueObject();
    for (int s = 0; s < subsystems; ++s) {
        auto* sub = new ValueObject();
        for (int p = 0; p < properties; ++p) {
            auto* prop = new ValueObject();
            prop->SetProperty("enabled", new ValueBool((p + salt) % 3 == 0));
            prop->SetProperty("count", new ValueInt(p * 7 + (p % 10 == 0 ? salt : 0)));
            prop->SetProperty("ratio", new ValueDouble(p / 8.0));
            prop->SetProperty("name", new ValueString(("item-" + std::to_string(p)).c_str(), true));
            sub->SetProperty(("prop" + std::to_string(p)).c_str(), prop);
        }
        root->SetProperty(("subsystem" + std::to_string(s)).c_str(), sub);
    }
    return root;
}

std::string toText(const ValueGeneric& v)
{
    rapidjson::StringBuffer buffer;
    PrettyWriter writer(buffer);
    v.PrettyWrite(&writer);
    return buffer.GetString();
}

// Loads text from a scratch file once per iteration.
void loadRepeatedly(benchmark::State& state, const std::string& text)
{
    char path[] = "/tmp/cfgmgr-bench-XXXXXX";
    int fd = ::mkstemp(path);
    const bool written = fd >= 0 && ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    if (fd >= 0) {
        ::close(fd);
    }
    if (!written) {
        ::unlink(path);
        state.SkipWithError("cannot write the scratch file");
        return;
    }
    for (auto _ : state) {
        Ref<ValueGeneric> tree(ValueGeneric::Load(path));
        benchmark::DoNotOptimize(tree.get());
    }
    ::unlink(path);
}

void BM_Load(benchmark::State& state)
{
    Ref<ValueObject> config(makeConfig(10, static_cast<int>(state.range(0)), 0));
    std::string text = toText(*config);
    loadRepeatedly(state, text);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_Load)->Arg(10)->Arg(100)->Arg(1000);

void BM_PrettyWrite(benchmark::State& state)
{
    Ref<ValueObject> config(makeConfig(10, static_cast<int>(state.range(0)), 0));
    for (auto _ : state) {
        benchmark::DoNotOptimize(toText(*config));
    }
}
BENCHMARK(BM_PrettyWrite)->Arg(100)->Arg(1000);

void BM_DiffThenOverlay(benchmark::State& state)
{
    Ref<ValueObject> lower(makeConfig(10, static_cast<int>(state.range(0)), 0));
    Ref<ValueObject> higher(makeConfig(10, static_cast<int>(state.range(0)), 1));
    for (auto _ : state) {
        Ref<ValueObject> layer(new ValueObject());
        layer->Diff(lower.get(), higher.get());
        Ref<ValueGeneric> merged(lower->Clone(true));
        ValueObject* m = nullptr;
        merged->AsObject(m);
        m->Overlay(layer.get());
        benchmark::DoNotOptimize(m);
    }
}
BENCHMARK(BM_DiffThenOverlay)->Arg(100)->Arg(1000);

// A batch of n/3 properties into an object of n, a third of them new names,
// as a merge does to a large group object.
void BM_SetPropertiesBatch(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        Ref<ValueObject> object(new ValueObject());
        std::vector<std::pair<std::string, ValueGeneric*>> batch;
        for (int i = 0; i < n; ++i) {
            batch.emplace_back("g" + std::to_string(i * 3), new ValueInt(i));
        }
        object->SetProperties(batch);
        for (int i = 0; i < n / 3; ++i) {
            batch.emplace_back("g" + std::to_string((i * 7919) % (n * 3)), new ValueInt(-i));
        }
        state.ResumeTiming();
        object->SetProperties(batch);
        benchmark::DoNotOptimize(object.get());
        state.PauseTiming();
        object.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_SetPropertiesBatch)->Arg(60000);

// One object of n members written in scrambled order.
void BM_LoadWideObject(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    std::string text = "{";
    for (int i = 0; i < n; ++i) {
        text += "\"m" + std::to_string((i * 7919) % n) + "\":" + std::to_string(i) + (i + 1 < n ? "," : "}");
    }
    loadRepeatedly(state, text);
}
BENCHMARK(BM_LoadWideObject)->Arg(10000)->Arg(100000);

} // namespace
