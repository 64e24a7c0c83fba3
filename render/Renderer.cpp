#include "render/Renderer.h"

#include <cmath>
#include <cstring>
#include <mutex>
#include <thread>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace render {
namespace {

void* openPrivately(const std::string& path, const char* what) {
#if defined(_WIN32)
    void* module = LoadLibraryA(path.c_str());
    if (module == nullptr) {
        throw RenderError("cannot load the " + std::string(what) + " " + path + " (error " +
                          std::to_string(GetLastError()) + ")");
    }
#else
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        const char* reason = dlerror();
        throw RenderError("cannot load the " + std::string(what) + " " + path + " (" +
                          (reason != nullptr ? reason : "unknown error") + ")");
    }
#endif
    return module;
}

void* exportOf(void* module, const std::string& name) {
#if defined(_WIN32)
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name.c_str()));
#else
    return dlsym(module, name.c_str());
#endif
}

// A deterministic hash of the sample's coordinates, for jitter that does not depend on the
// order or the thread in which pixels are rendered.
float jitter(std::uint32_t x, std::uint32_t y, std::uint32_t s, std::uint32_t axis) {
    std::uint32_t h = x * 0x8da6b343u ^ y * 0xd8163841u ^ s * 0xcb1ab31fu ^ axis * 0x165667b1u;
    h ^= h >> 16;
    h *= 0x7feb352du;
    h ^= h >> 15;
    h *= 0x846ca68bu;
    h ^= h >> 16;
    return float(h >> 8) * (1.0f / 16777216.0f);
}

}  // namespace

std::string folderOf(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

std::string executableFolder() {
#if defined(_WIN32)
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    return folderOf(std::string(path, length));
#else
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path);
    return folderOf(std::string(path, length > 0 ? size_t(length) : 0));
#endif
}

Lens loadLens(const std::string& libraryPath, const std::string& hostModulePath,
              const ShaderDeclaration& declaration) {
    void* library = openPrivately(libraryPath, "lens library");
    void* hostModule = openPrivately(hostModulePath, "host interface module");

    const auto find = [&](const std::string& name) {
        void* address = exportOf(library, name);
        if (address == nullptr) {
            throw RenderError(libraryPath + " does not export \"" + name + "\"");
        }
        return address;
    };
    auto* bind = reinterpret_cast<void (*)(void*)>(find("miSetModuleHandle"));
    void* shader = find(declaration.name);
    auto* version = reinterpret_cast<int (*)()>(find(declaration.name + "_version"));
    const int built = version();
    if (built != declaration.version) {
        throw RenderError(libraryPath + ": shader \"" + declaration.name + "\" is version " +
                          std::to_string(built) + ", but its declaration says version " +
                          std::to_string(declaration.version));
    }
    bind(hostModule);

    Lens lens;
    lens.declaration = &declaration;
    if (declaration.parameters.empty()) {
        lens.withoutParameters = reinterpret_cast<decltype(lens.withoutParameters)>(shader);
    } else {
        lens.withParameters = reinterpret_cast<decltype(lens.withParameters)>(shader);
    }
    return lens;
}

Rotation cameraRotation(float yawDegrees, float pitchDegrees, float rollDegrees) {
    const double toRadians = 3.14159265358979323846 / 180.0;
    // Yaw turns the view to the right, pitch up, roll tilts the camera's up to the right.
    const double yaw = -yawDegrees * toRadians;
    const double pitch = pitchDegrees * toRadians;
    const double roll = -rollDegrees * toRadians;
    const double cy = std::cos(yaw), sy = std::sin(yaw);
    const double cp = std::cos(pitch), sp = std::sin(pitch);
    const double cr = std::cos(roll), sr = std::sin(roll);
    const double yawM[3][3] = {{cy, 0, sy}, {0, 1, 0}, {-sy, 0, cy}};
    const double pitchM[3][3] = {{1, 0, 0}, {0, cp, -sp}, {0, sp, cp}};
    const double rollM[3][3] = {{cr, -sr, 0}, {sr, cr, 0}, {0, 0, 1}};
    double yp[3][3] = {};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k) yp[i][j] += yawM[i][k] * pitchM[k][j];
    Rotation r{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            double sum = 0;
            for (int k = 0; k < 3; ++k) sum += yp[i][k] * rollM[k][j];
            r.m[i][j] = float(sum);
        }
    return r;
}

Pixels renderFrame(const Lens& lens, const Camera& camera, const FrameSettings& frame) {
    const int parameterCount = int(lens.declaration->parameters.size());
    FrameContext context{};
    context.cameraToWorld = camera.toWorld;
    context.trace = frame.trace;
    context.world = frame.world;
    context.parameterBlock = parameterCount > 0 ? frame.parameterBlock.data() : nullptr;
    context.connectedValues = frame.connectedValues.data();
    context.parameterCount = parameterCount;

    cvl::HostCamera hostCamera{};
    hostCamera.focalLength = camera.focalLength;
    hostCamera.aperture = camera.aperture;
    hostCamera.aspectRatio = float(camera.width) / float(camera.height);
    cvl::HostShader shaderRecord{};
    shaderRecord.connectionOffset = std::int32_t(parameterCount * 4);

    // Samples per pixel on a grid of cells, jittered within each cell; a single sample sits at
    // the pixel centre.
    const int columns = int(std::ceil(std::sqrt(double(frame.samples))));
    const int rows = (frame.samples + columns - 1) / columns;

    Pixels image(size_t(camera.width) * camera.height * 4);
    std::atomic<int> nextRow{0};
    std::atomic<int> rowsDone{0};
    const auto work = [&] {
        SampleState state{};
        state.host.camera = &hostCamera;
        state.host.shader = &shaderRecord;
        state.host.rayOrigin = camera.position;
        state.frame = &context;
        for (int y = nextRow.fetch_add(1); y < camera.height; y = nextRow.fetch_add(1)) {
            float* row = image.data() + size_t(y) * camera.width * 4;
            for (int x = 0; x < camera.width; ++x) {
                double sum[4] = {0, 0, 0, 0};
                for (int s = 0; s < frame.samples; ++s) {
                    float sx = 0.5f, sy = 0.5f;
                    if (frame.samples > 1) {
                        sx = (float(s % columns) + jitter(x, y, s, 0)) / float(columns);
                        sy = (float(s / columns) + jitter(x, y, s, 1)) / float(rows);
                    }
                    const float px = (float(x) + sx) / float(camera.width) * 2.0f - 1.0f;
                    const float py = 1.0f - (float(y) + sy) / float(camera.height) * 2.0f;
                    const HostVector pinhole{px * camera.aperture * 0.5f,
                                             py * camera.aperture * 0.5f / hostCamera.aspectRatio,
                                             -camera.focalLength};
                    state.host.rayDirection = camera.toWorld.apply(pinhole);
                    HostColor color{0, 0, 0, 0};
                    if (lens.withParameters != nullptr) {
                        lens.withParameters(&color, &state.host, frame.parameterBlock.data());
                    } else {
                        lens.withoutParameters(&color, &state.host);
                    }
                    sum[0] += color.r;
                    sum[1] += color.g;
                    sum[2] += color.b;
                    sum[3] += color.a;
                }
                for (int c = 0; c < 4; ++c) {
                    row[x * 4 + c] = float(sum[c] / frame.samples);
                }
            }
            const int done = rowsDone.fetch_add(1) + 1;
            if (frame.progress) {
                frame.progress(done);
            }
        }
    };
    std::vector<std::thread> threads;
    for (int t = 1; t < frame.threads; ++t) {
        threads.emplace_back(work);
    }
    work();
    for (auto& thread : threads) {
        thread.join();
    }
    return image;
}

}  // namespace render
