// Per-sample cost of each lens path against a do-nothing host, and of a resolved host stub
// against a direct call, with one double-precision sin and cos pair as the yardstick. The
// goals are ratios within one run, printed at the end.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "host/Binding.h"
#include "lenses/Shaders.h"

using namespace cvl;

namespace {

using Fisheye = HostBoolean (*)(HostColor*, HostState*, const FisheyeParameters*);
using Panorama = HostBoolean (*)(HostColor*, HostState*);
using ToCamera = void (*)(HostState*, HostVector*, const HostVector*);

struct Loaded {
    void* host = nullptr;
    Fisheye fisheye = nullptr;
    Panorama panorama = nullptr;
    ToCamera hostToCamera = nullptr;
};

std::string besideExecutable(const char* name) {
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    std::string full(path, length > 0 ? size_t(length) : 0);
    return full.substr(0, full.find_last_of('/') + 1) + name;
}

const Loaded& loaded() {
    static const Loaded modules = [] {
        Loaded m;
        void* library = dlopen(besideExecutable("corvala.so").c_str(), RTLD_NOW | RTLD_LOCAL);
        m.host = dlopen(besideExecutable("corvala_noophost.so").c_str(), RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr || m.host == nullptr) {
            std::fprintf(stderr, "cannot load the library or the host: %s\n", dlerror());
            std::abort();
        }
        reinterpret_cast<void (*)(void*)>(dlsym(library, "miSetModuleHandle"))(m.host);
        m.fisheye = reinterpret_cast<Fisheye>(dlsym(library, "corvala"));
        m.panorama = reinterpret_cast<Panorama>(dlsym(library, "environmentLense"));
        m.hostToCamera = reinterpret_cast<ToCamera>(dlsym(m.host, "mi_vector_to_camera"));
        miSetModuleHandle(m.host);  // the benchmark's own copy of the binding
        return m;
    }();
    return modules;
}

// A ring of sample directions across the image, so the paths see varied input.
constexpr int ringSize = 256;

struct Samples {
    HostCamera camera{};
    HostShader shader{};
    HostState states[ringSize]{};
    HostColor color{};

    // Directions spread over [-spread, spread] of the image width around the centre, at an
    // offset toward the right edge.
    Samples(float offset, float spread) {
        camera.focalLength = 1.0f;
        camera.aperture = 2.0f;
        camera.aspectRatio = 1.0f;
        for (int i = 0; i < ringSize; ++i) {
            const float t = float(i) / ringSize * 2.0f - 1.0f;
            states[i].camera = &camera;
            states[i].shader = &shader;
            states[i].rayDirection = {offset + spread * t, spread * t * 0.5f, -1.0f};
        }
    }
};

void sinCosPair(benchmark::State& state) {
    double x = 0.1;
    for (auto _ : state) {
        double s = std::sin(x);
        double c = std::cos(x);
        benchmark::DoNotOptimize(s);
        benchmark::DoNotOptimize(c);
        x += 0.001;
    }
}

// The same pair when each depends on the one before: its latency rather than its throughput.
// A lens sample is one such chain from start to end, so this shows how much of its time the
// trigonometry alone takes up.
void sinCosPairChained(benchmark::State& state) {
    double x = 0.1;
    for (auto _ : state) {
        const double s = std::sin(x);
        const double c = std::cos(x);
        x = 0.1 + 1e-3 * (s + c);
        benchmark::DoNotOptimize(x);
    }
}

void fisheyeInsideBothFades(benchmark::State& state) {
    const Loaded& m = loaded();
    Samples samples(0.55f, 0.3f);  // within the circle, within reach of both fades
    const FisheyeParameters params{180.0f, 1.0f, 0, 1, 1, 0.5f};
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(m.fisheye(&samples.color, &samples.states[i], &params));
        i = (i + 1) % ringSize;
    }
}

void fisheyeClipped(benchmark::State& state) {
    const Loaded& m = loaded();
    Samples samples(1.5f, 0.3f);  // outside the circle
    const FisheyeParameters params{180.0f, 1.0f, 1, 0, 0, 0.0f};
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(m.fisheye(&samples.color, &samples.states[i], &params));
        i = (i + 1) % ringSize;
    }
}

void panorama(benchmark::State& state) {
    const Loaded& m = loaded();
    Samples samples(0.0f, 0.9f);
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(m.panorama(&samples.color, &samples.states[i]));
        i = (i + 1) % ringSize;
    }
}

void resolvedStub(benchmark::State& state) {
    loaded();
    HostState hostState{};
    HostVector in{1.0f, 2.0f, 3.0f}, out;
    for (auto _ : state) {
        host::mi_vector_to_camera(&hostState, &out, &in);
        benchmark::DoNotOptimize(out);
    }
}

void directCall(benchmark::State& state) {
    ToCamera call = loaded().hostToCamera;
    HostState hostState{};
    HostVector in{1.0f, 2.0f, 3.0f}, out;
    for (auto _ : state) {
        benchmark::DoNotOptimize(call);  // keep it an indirect call, as the stub's is
        call(&hostState, &out, &in);
        benchmark::DoNotOptimize(out);
    }
}

BENCHMARK(sinCosPair);
BENCHMARK(sinCosPairChained);
BENCHMARK(fisheyeInsideBothFades);
BENCHMARK(fisheyeClipped);
BENCHMARK(panorama);
BENCHMARK(resolvedStub);
BENCHMARK(directCall);

// Prints the run as usual, then each goal as a ratio of this run's figures.
class GoalReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            nanoseconds_[run.benchmark_name()] = run.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        const double pair = nanoseconds_["sinCosPair"];
        ratio("fisheye, inside with both fades", nanoseconds_["fisheyeInsideBothFades"] / pair,
              2.0);
        ratio("fisheye, clipped", nanoseconds_["fisheyeClipped"] / pair, 0.5);
        ratio("panorama", nanoseconds_["panorama"] / pair, 3.0);
        std::printf("(the pair's latency, %.1f ns, is %.2f x its throughput figure)\n",
                    nanoseconds_["sinCosPairChained"], nanoseconds_["sinCosPairChained"] / pair);
        const double stubCost = nanoseconds_["resolvedStub"] - nanoseconds_["directCall"];
        std::printf("%-34s %+6.2f ns over a direct call (goal: at most 1 ns)  %s\n",
                    "resolved stub", stubCost, stubCost <= 1.0 ? "met" : "MISSED");
    }

  private:
    static void ratio(const char* name, double value, double goal) {
        std::printf("%-34s %6.2f x the sin+cos pair (goal: at most %.1f)  %s\n", name, value, goal,
                    value <= goal ? "met" : "MISSED");
    }
    std::map<std::string, double> nanoseconds_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    GoalReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
