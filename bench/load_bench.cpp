// Load scale on the fake platform: the time to load configurations of 10,
// 100, 1,000 and 10,000 components with two installed checks each, beside
// the time the XML parser alone takes for the same document, and the time
// the end of the run takes to release the loaded components.
#include <benchmark/benchmark.h>

#include <string>

#include "config/sources.h"
#include "generated_config.h"
#include "tinyxml.h"

namespace {

bool prepared(benchmark::State& state, bench::quiet_platform& sys, std::size_t count)
{
    bench::prepare_platform(sys, count);
    if (bench::load_once(sys) == count) return true;
    state.SkipWithError("the configuration did not load every component");
    return false;
}

// The load as Setup.exe does it: read setup.xml, choose the configuration,
// read every component, replace the path markers and evaluate both
// installed checks. Releasing the components afterwards is not timed.
void BM_Load(benchmark::State& state)
{
    const auto count = static_cast<std::size_t>(state.range(0));
    bench::quiet_platform sys;
    if (!prepared(state, sys, count)) return;
    for (auto _ : state) {
        config::configuration_settings settings;
        benchmark::DoNotOptimize(config::load_setup_configuration(sys, settings));
        state.PauseTiming();
        config::release_components(settings);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * count));
    state.counters["components"] = static_cast<double>(count);
}

// What the end of the run does with the loaded record: release every
// component (config::release_components). The load is not timed.
void BM_Release(benchmark::State& state)
{
    const auto count = static_cast<std::size_t>(state.range(0));
    bench::quiet_platform sys;
    if (!prepared(state, sys, count)) return;
    for (auto _ : state) {
        state.PauseTiming();
        config::configuration_settings settings;
        config::load_setup_configuration(sys, settings);
        state.ResumeTiming();
        config::release_components(settings);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * count));
    state.counters["components"] = static_cast<double>(count);
}

// The floor: the parser alone building its tree of the same document.
void BM_ParseOnly(benchmark::State& state)
{
    const auto count = static_cast<std::size_t>(state.range(0));
    const std::string doc = bench::make_configuration(count);
    for (auto _ : state) {
        TiXmlDocument document;
        document.Parse(doc.c_str(), nullptr, TIXML_ENCODING_UTF8);
        benchmark::DoNotOptimize(document.RootElement());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * count));
    state.counters["components"] = static_cast<double>(count);
}

}  // namespace

BENCHMARK(BM_Load)->Arg(10)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Release)->Arg(10)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ParseOnly)->Arg(10)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
