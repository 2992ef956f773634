// The controller's per-event costs: building and writing one dimmed table, and judging one
// audio block for a beat. Both are driven as in Music: levels come through the meter's callback
// and the timer ticks, with the clock stepped by hand.
#include "testkit/fakes/ControllerRig.h"

#include <QCoreApplication>
#include <benchmark/benchmark.h>
#include <dlfcn.h>

namespace {

struct Bench : ControllerRig {
    explicit Bench(int rows)
    {
        auto setRecording = reinterpret_cast<void (*)(int)>(
            dlsym(dlopen(FAKE_SERVICE_MODULE_PATH, RTLD_NOW), "fake_service_set_recording"));
        setRecording(0);
        PropertyValue::Table table;
        for (int i = 0; i < rows; ++i)
            table.push_back({double(i), 10.0 * i + 1});
        service.setProperty(FakeService::tableKey, PropertyValue::table(table));
        logo = make();
    }

    std::unique_ptr<LogoController> logo;
};

void setLevelTable(benchmark::State& state)
{
    Bench bench(static_cast<int>(state.range(0)));
    bench.logo->setMode(LightMode::music);
    bool flash = false;
    for (auto _ : state) {
        // A beat, then the tick that ends its flash, and so on: every step writes a table.
        bench.clock.advance(std::chrono::milliseconds(200));
        flash = !flash;
        if (flash)
            bench.meter->deliver(0.5, 0.0);
        else
            bench.ticker->tick();
    }
    state.counters["rows"] = static_cast<double>(state.range(0));
}
BENCHMARK(setLevelTable)->Arg(2)->Arg(64)->Arg(1024);

void handleAudioPerBlock(benchmark::State& state)
{
    Bench bench(16);
    bench.logo->setMode(LightMode::music);
    double bass = 0.0;
    for (auto _ : state) {
        // Mostly quiet blocks with a loud one every tenth, as music delivers them.
        bass = bass >= 0.09 ? 0.0 : bass + 0.01;
        bench.clock.advance(std::chrono::microseconds(10667));
        bench.meter->deliver(bass, 0.02);
    }
}
BENCHMARK(handleAudioPerBlock);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
