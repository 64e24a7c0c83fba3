// The by-name binding, seen from a host: diagnostics, rebinding, missing functions, what the
// shaders do when a host function cannot be reached, and binding from several threads at once.
#include <atomic>
#include <thread>
#include <vector>

#include "tests/Harness.h"

namespace {

using namespace harness;
using testhost::Call;

const FisheyeParameters plainFisheye{180.0f, 1.0f, 0, 0, 0, 0.0f};

std::string nullHandleLines(const std::string& name) {
    return "DYNLOAD: dl_handle null\n"
           "dlsym failed on \"" +
           name + "\" (handle: 00000000 error: " + std::to_string(missingSymbolError()) + ")\n";
}

std::string failedLookupLine(const std::string& name, void* handle) {
    return "dlsym failed on \"" + name + "\" (handle: " + handleText(handle) +
           " error: " + std::to_string(missingSymbolError()) + ")\n";
}

TEST_F(HostTest, VersionsAreOne) {
    EXPECT_EQ(library.fisheyeVersion(), 1);
    EXPECT_EQ(library.panoramaVersion(), 1);
}

TEST_F(HostTest, BeforeBindingEveryStubReportsTheNullHandleOnEveryCall) {
    const std::string oneCall = nullHandleLines("mi_vector_to_camera") +
                                nullHandleLines("mi_vector_from_camera") +
                                nullHandleLines("mi_trace_eye");
    Sample sample;
    sample.aim(0.25f, -0.5f);

    StderrCapture capture;
    const HostBoolean fisheyeResult = library.fisheye(&sample.color, &sample.state, &plainFisheye);
    const HostColor fisheyeColor = sample.color;
    sample.color = {-1.0f, -1.0f, -1.0f, -1.0f};
    const HostBoolean panoramaResult = library.panorama(&sample.color, &sample.state);
    const std::string written = capture.finish();

    EXPECT_EQ(written, oneCall + oneCall);
    // No host is reachable: the trace yields transparent black and reports no hit.
    EXPECT_EQ(fisheyeResult, 0);
    EXPECT_EQ(panoramaResult, 0);
    for (const HostColor& color : {fisheyeColor, sample.color}) {
        EXPECT_EQ(color.r, 0.0f);
        EXPECT_EQ(color.g, 0.0f);
        EXPECT_EQ(color.b, 0.0f);
        EXPECT_EQ(color.a, 0.0f);
    }
}

TEST_F(HostTest, ABoundModuleIsUsedSilently) {
    TestHostModule& host = bind();
    Sample sample;
    sample.aim(0.0f, 0.0f);

    StderrCapture capture;
    for (int call = 0; call < 3; ++call) {
        host.reset();
        EXPECT_EQ(library.fisheye(&sample.color, &sample.state, &plainFisheye), 1);
        EXPECT_EQ(host.log()->callCount, 3);
    }
    EXPECT_EQ(capture.finish(), "");
    EXPECT_EQ(sample.color.b, testhost::standardColor.b);
}

TEST_F(HostTest, AMissingFunctionIsReportedAtEveryCallWhileTheOthersWork) {
    TestHostModule& host = bind("_notrace");
    Sample sample;
    sample.aim(0.1f, 0.2f);

    StderrCapture capture;
    for (int call = 0; call < 2; ++call) {
        host.reset();
        sample.color = {-1.0f, -1.0f, -1.0f, -1.0f};
        EXPECT_EQ(library.fisheye(&sample.color, &sample.state, &plainFisheye), 0);
        EXPECT_EQ(sample.color.r, 0.0f);
        EXPECT_EQ(sample.color.a, 0.0f);
        const testhost::Log& log = *host.log();
        ASSERT_EQ(log.callCount, 2);
        EXPECT_EQ(log.calls[0].call, Call::vectorToCamera);
        EXPECT_EQ(log.calls[1].call, Call::vectorFromCamera);
    }
    const std::string line = failedLookupLine("mi_trace_eye", host.module);
    EXPECT_EQ(capture.finish(), line + line);
}

TEST_F(HostTest, MissingConversionsPassTheVectorThrough) {
    TestHostModule& host = bind("_traceonly");
    Sample sample;
    // Unconverted, this internal-space direction is taken as camera space: straight ahead.
    sample.state.rayDirection = {0.0f, 0.0f, -3.0f};

    StderrCapture capture;
    EXPECT_EQ(library.fisheye(&sample.color, &sample.state, &plainFisheye), 1);
    EXPECT_EQ(library.panorama(&sample.color, &sample.state), 1);
    const std::string oneCall = failedLookupLine("mi_vector_to_camera", host.module) +
                                failedLookupLine("mi_vector_from_camera", host.module);
    EXPECT_EQ(capture.finish(), oneCall + oneCall);

    const testhost::Log& log = *host.log();
    ASSERT_EQ(log.callCount, 2);
    for (int i = 0; i < 2; ++i) {
        EXPECT_TRUE(closeTo(log.calls[i].in, {0.0f, 0.0f, -1.0f}, 1e-7));
    }
}

TEST_F(HostTest, RebindingLooksEveryFunctionUpAgain) {
    Sample sample;
    sample.aim(0.3f, 0.3f);
    StderrCapture capture;

    bind();
    library.panorama(&sample.color, &sample.state);
    EXPECT_EQ(sample.color.r, testhost::standardColor.r);

    bind("_red");
    library.panorama(&sample.color, &sample.state);
    EXPECT_EQ(sample.color.r, testhost::otherColor.r);
    EXPECT_EQ(host("_red").log()->callCount, 3) << "conversions now come from the new module";

    // The same handle again works as well as a new one.
    bind("_red");
    library.fisheye(&sample.color, &sample.state, &plainFisheye);
    EXPECT_EQ(sample.color.r, testhost::otherColor.r);

    bind();
    library.fisheye(&sample.color, &sample.state, &plainFisheye);
    EXPECT_EQ(sample.color.r, testhost::standardColor.r);
    EXPECT_EQ(capture.finish(), "");

    // Binding to null forgets the module.
    library.setModuleHandle(nullptr);
    StderrCapture unbound;
    library.panorama(&sample.color, &sample.state);
    EXPECT_EQ(unbound.finish(), nullHandleLines("mi_vector_to_camera") +
                                    nullHandleLines("mi_vector_from_camera") +
                                    nullHandleLines("mi_trace_eye"));
}

// Many threads call both lenses from the very first call on, so every stub is resolved while
// others read its slot; then the host rebinds to another module between two passes and the
// threads go again. Every sample must get exactly the current module's answers.
TEST_F(HostTest, ThreadsResolvingTheTableAtOnceAllGetTheHostsAnswers) {
    constexpr int threadCount = 16;
    constexpr int samplesPerThread = 300;

    const auto runPass = [&](TestHostModule& host, const HostColor& color) {
        std::atomic<int> wrong{0};
        std::atomic<int> ready{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < threadCount; ++t) {
            threads.emplace_back([&, t] {
                host.reset();
                ready.fetch_add(1);
                while (ready.load() < threadCount) {
                    std::this_thread::yield();
                }
                for (int i = 0; i < samplesPerThread; ++i) {
                    const float px = -0.9f + 1.8f * float((i * 7 + t) % 41) / 40.0f;
                    const float py = -0.9f + 1.8f * float((i * 3 + t) % 37) / 36.0f;
                    Sample sample;
                    sample.aim(px, py);
                    testhost::Log& log = *host.log();
                    log.callCount = 0;
                    HostVector expected;
                    HostBoolean traced;
                    if ((i + t) % 2 == 0) {
                        traced = library.fisheye(&sample.color, &sample.state, &plainFisheye);
                        expected = fisheyeClosedForm(px, py, 180.0f);
                    } else {
                        traced = library.panorama(&sample.color, &sample.state);
                        expected = panoramaClosedForm(pi * px, pi / 2 * py);
                    }
                    const bool right =
                        traced == 1 && log.callCount == 3 && log.calls[2].call == Call::traceEye &&
                        closeTo(testhost::internalToCamera(log.calls[2].in), expected, 2e-6) &&
                        sample.color.r == color.r && sample.color.g == color.g &&
                        sample.color.b == color.b && sample.color.a == color.a;
                    if (!right) {
                        wrong.fetch_add(1);
                    }
                }
            });
        }
        for (auto& thread : threads) {
            thread.join();
        }
        return wrong.load();
    };

    StderrCapture capture;
    EXPECT_EQ(runPass(bind(), testhost::standardColor), 0);
    EXPECT_EQ(runPass(bind("_red"), testhost::otherColor), 0);
    EXPECT_EQ(capture.finish(), "");
}

}  // namespace
