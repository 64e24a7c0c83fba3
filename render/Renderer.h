// Loading a lens library the way a host does, and rendering frames through it.
#pragma once

#include <atomic>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "render/Declarations.h"
#include "render/HostContext.h"
#include "render/Pixels.h"

namespace render {

// Bad input found while setting up or rendering: reported as one line, exit status 2.
struct RenderError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Folder of the running executable, with a trailing separator.
std::string executableFolder();
std::string folderOf(const std::string& path);

// A lens shader found in a loaded library, checked against its declaration.
struct Lens {
    const ShaderDeclaration* declaration = nullptr;
    // Shaders with parameters take (result, state, parameters); those without, (result, state).
    cvl::HostBoolean (*withParameters)(HostColor*, cvl::HostState*, const void*) = nullptr;
    cvl::HostBoolean (*withoutParameters)(HostColor*, cvl::HostState*) = nullptr;
};

// Loads the library at libraryPath and the host interface module at hostModulePath (both
// privately), binds the library to the module and finds the shader. Throws RenderError for a
// missing file or export, or a version that differs from the declaration.
Lens loadLens(const std::string& libraryPath, const std::string& hostModulePath,
              const ShaderDeclaration& declaration);

struct Camera {
    int width = 0;
    int height = 0;
    float focalLength = 1.0f;
    float aperture = 2.0f;  // with focal length 1: a 90-degree pinhole across the width
    Rotation toWorld{};
    HostVector position{};
};

Rotation cameraRotation(float yawDegrees, float pitchDegrees, float rollDegrees);

struct FrameSettings {
    int samples = 1;
    int threads = 1;
    // Lens parameter block: one word per declared parameter, then one connection word each.
    std::vector<std::uint32_t> parameterBlock;
    // This frame's values of the connected parameters (one word per parameter).
    std::vector<std::uint32_t> connectedValues;
    TraceFunction trace = nullptr;
    const void* world = nullptr;
    // Called now and then from the rendering threads with rows done so far.
    std::function<void(int rowsDone)> progress;
};

// Renders one frame; returns premultiplied linear RGBA, row by row from the top.
Pixels renderFrame(const Lens& lens, const Camera& camera, const FrameSettings& frame);

}  // namespace render
