#include "tests/Harness.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <vector>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#define dup _dup
#define dup2 _dup2
#define fileno _fileno
#define close _close
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace harness {
namespace {

std::string executableFolder() {
#if defined(_WIN32)
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string full(path, length);
    return full.substr(0, full.find_last_of("\\/") + 1);
#else
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path);
    std::string full(path, length > 0 ? static_cast<size_t>(length) : 0);
    return full.substr(0, full.find_last_of('/') + 1);
#endif
}

}  // namespace

void* openModule(const std::string& name) {
#if defined(_WIN32)
    const std::string path = executableFolder() + name + ".dll";
    void* module = LoadLibraryA(path.c_str());
    EXPECT_NE(module, nullptr) << "cannot load " << path << ": error " << GetLastError();
#else
    const std::string path = executableFolder() + name + ".so";
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    EXPECT_NE(module, nullptr) << "cannot load " << path << ": " << dlerror();
#endif
    return module;
}

void closeModule(void* module) {
    if (module == nullptr) {
        return;
    }
#if defined(_WIN32)
    FreeLibrary(static_cast<HMODULE>(module));
#else
    dlclose(module);
#endif
}

void* findSymbol(void* module, const char* name) {
#if defined(_WIN32)
    void* address = reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
#else
    void* address = dlsym(module, name);
#endif
    EXPECT_NE(address, nullptr) << "missing export " << name;
    return address;
}

std::string handleText(void* handle) {
    char text[32];
    std::snprintf(text, sizeof text, "%08" PRIxPTR, reinterpret_cast<std::uintptr_t>(handle));
    return text;
}

int missingSymbolError() {
    return 127;
}

StderrCapture::StderrCapture() {
    std::fflush(stderr);
    file_ = std::tmpfile();
    savedDescriptor_ = dup(2);
    dup2(fileno(file_), 2);
}

StderrCapture::~StderrCapture() {
    finish();
}

std::string StderrCapture::finish() {
    if (file_ == nullptr) {
        return {};
    }
    std::fflush(stderr);
    dup2(savedDescriptor_, 2);
    close(savedDescriptor_);
    std::string text;
    std::rewind(file_);
    char buffer[4096];
    size_t count;
    while ((count = std::fread(buffer, 1, sizeof buffer, file_)) > 0) {
        text.append(buffer, count);
    }
    std::fclose(file_);
    file_ = nullptr;
    std::string lines;
    for (size_t i = 0; i < text.size(); ++i) {
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) {
            lines += text[i];
        }
    }
    return lines;
}

Sample::Sample(float aspect) {
    camera.focalLength = 1.0f;
    camera.aperture = 2.0f;
    camera.aspectRatio = aspect;
    state.camera = &camera;
    state.shader = &shader;
    state.rayOrigin = {0.25f, -4.0f, 9.5f};
    color = {-1.0f, -1.0f, -1.0f, -1.0f};
}

void Sample::aim(float px, float py) {
    aimCameraSpace({px, py / camera.aspectRatio, -1.0f});
}

void Sample::aimCameraSpace(const HostVector& direction) {
    state.rayDirection = testhost::cameraToInternal(direction);
}

void HostTest::SetUp() {
    library.module = openModule("corvala");
    ASSERT_NE(library.module, nullptr);
    library.setModuleHandle =
        reinterpret_cast<void (*)(void*)>(findSymbol(library.module, "miSetModuleHandle"));
    library.fisheye =
        reinterpret_cast<decltype(library.fisheye)>(findSymbol(library.module, "corvala"));
    library.fisheyeVersion =
        reinterpret_cast<int (*)()>(findSymbol(library.module, "corvala_version"));
    library.panorama = reinterpret_cast<decltype(library.panorama)>(
        findSymbol(library.module, "environmentLense"));
    library.panoramaVersion =
        reinterpret_cast<int (*)()>(findSymbol(library.module, "environmentLense_version"));
}

void HostTest::TearDown() {
    closeModule(library.module);
    for (auto& entry : hosts_) {
        closeModule(entry.second.module);
    }
    hosts_.clear();
}

TestHostModule& HostTest::host(const std::string& variant) {
    for (auto& entry : hosts_) {
        if (entry.first == variant) {
            return entry.second;
        }
    }
    TestHostModule loaded;
    loaded.module = openModule("corvala_testhost" + variant);
    if (loaded.module != nullptr) {
        loaded.log =
            reinterpret_cast<testhost::LogFunction>(findSymbol(loaded.module, "testHostLog"));
        loaded.reset =
            reinterpret_cast<testhost::ResetFunction>(findSymbol(loaded.module, "testHostReset"));
        loaded.reset();
    }
    hosts_.emplace_back(variant, loaded);
    return hosts_.back().second;
}

TestHostModule& HostTest::bind(const std::string& variant) {
    TestHostModule& module = host(variant);
    library.setModuleHandle(module.module);
    return module;
}

::testing::AssertionResult closeTo(const HostVector& actual, const HostVector& expected,
                                   double tolerance) {
    const double error = std::fmax(std::fabs(double(actual.x) - expected.x),
                                   std::fmax(std::fabs(double(actual.y) - expected.y),
                                             std::fabs(double(actual.z) - expected.z)));
    if (error <= tolerance) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "(" << actual.x << ", " << actual.y << ", " << actual.z << ") differs from ("
           << expected.x << ", " << expected.y << ", " << expected.z << ") by " << error;
}

}  // namespace harness
