// What the tests need to act as a host: load the built library and the test host modules by
// file name, capture the real standard error stream, and lay out the host records of a sample.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "lenses/Shaders.h"
#include "tests/TestHost.h"

namespace harness {

using cvl::FisheyeParameters;
using cvl::HostBoolean;
using cvl::HostCamera;
using cvl::HostColor;
using cvl::HostShader;
using cvl::HostState;
using cvl::HostVector;

// Loads "<name><platform suffix>" from the folder holding the test executable, privately
// (its symbols stay out of the global scope). Fails the test and returns null when it cannot.
void* openModule(const std::string& name);
void closeModule(void* module);
void* findSymbol(void* module, const char* name);

// The handle as the library prints it: hexadecimal, at least eight digits.
std::string handleText(void* handle);
// Error code the library reports for a failed lookup on this platform.
int missingSymbolError();

// Redirects file descriptor 2 into a temporary file until finish(), which returns what was
// written, with the C runtime's text-mode line ends turned back into "\n".
class StderrCapture {
  public:
    StderrCapture();
    ~StderrCapture();
    std::string finish();

  private:
    int savedDescriptor_ = -1;
    std::FILE* file_ = nullptr;
};

struct Library {
    void* module = nullptr;
    void (*setModuleHandle)(void*) = nullptr;
    HostBoolean (*fisheye)(HostColor*, HostState*, const FisheyeParameters*) = nullptr;
    int (*fisheyeVersion)() = nullptr;
    HostBoolean (*panorama)(HostColor*, HostState*) = nullptr;
    int (*panoramaVersion)() = nullptr;
};

struct TestHostModule {
    void* module = nullptr;
    testhost::LogFunction log = nullptr;
    testhost::ResetFunction reset = nullptr;
};

// The fisheye's parameter block followed by one connection word per parameter, so that a
// connection offset of sizeof(FisheyeParameters) reaches them.
struct ConnectedBlock {
    FisheyeParameters values;
    std::int32_t connected[6];
};
constexpr std::int32_t connectionOffset = sizeof(FisheyeParameters);

// One sample's host records. The camera has focal length 1 and aperture 2, so a pinhole
// direction (px, py / aspect, -1) lies at horizontal image position px in -1..1.
struct Sample {
    HostCamera camera{};
    HostShader shader{};
    HostState state{};
    HostColor color{};

    explicit Sample(float aspect = 1.0f);
    // Aims the pinhole ray at image position (px, py), each -1..1 across width and height.
    void aim(float px, float py);
    // Aims the pinhole ray along a camera-space direction given as is.
    void aimCameraSpace(const HostVector& direction);
};

// Each test loads the library afresh (and unloads it after), so every test starts with the
// state of a host's first load: no handle, an empty table.
class HostTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // A test host module by variant name ("", "_red", "_notrace", "_traceonly"), loaded once
    // per test and reset.
    TestHostModule& host(const std::string& variant = "");
    // Loads the variant and binds the library to it.
    TestHostModule& bind(const std::string& variant = "");

    Library library;

  private:
    std::vector<std::pair<std::string, TestHostModule>> hosts_;
};

constexpr double pi = 3.14159265358979323846;

// The lenses' directions in camera space, in closed form.
inline HostVector fisheyeClosedForm(float x, float y, float fieldOfViewDegrees) {
    const double r = std::hypot(double(x), double(y));
    const double phi = r * fieldOfViewDegrees / 2.0 * pi / 180.0;
    if (r == 0.0) {
        return {0.0f, 0.0f, -1.0f};
    }
    return {float(x / r * std::sin(phi)), float(y / r * std::sin(phi)), float(-std::cos(phi))};
}

inline HostVector panoramaClosedForm(double longitude, double latitude) {
    return {float(-std::cos(latitude) * std::sin(longitude)), float(std::sin(latitude)),
            float(-std::cos(latitude) * std::cos(longitude))};
}

::testing::AssertionResult closeTo(const HostVector& actual, const HostVector& expected,
                                   double tolerance);

}  // namespace harness
