// corvala-render: a small command-line renderer that hosts a lens library exactly as a
// production renderer would, and renders the built-in scene or an equirectangular image
// through one of its lenses.
#include <CLI/CLI.hpp>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <optional>
#include <thread>

#include "render/Images.h"
#include "render/Renderer.h"
#include "render/World.h"

#if defined(_WIN32)
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace {

using namespace render;

constexpr int badInput = 2;

#if defined(_WIN32)
constexpr const char* librarySuffix = ".dll";
#else
constexpr const char* librarySuffix = ".so";
#endif

// A numeric lens parameter, fixed ("120") or animated over the frames ("120:220").
struct Animated {
    float from = 0.0f;
    float to = 0.0f;

    float at(int frame, int frames) const {
        if (frames <= 1) {
            return from;
        }
        return from + (to - from) * float(frame) / float(frames - 1);
    }
    bool animated() const { return from != to; }
};

float parseNumber(const std::string& text, const std::string& option) {
    size_t used = 0;
    float value = 0.0f;
    try {
        value = std::stof(text, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used == 0 || used != text.size() || !std::isfinite(value)) {
        throw RenderError(option + ": \"" + text + "\" is not a number");
    }
    return value;
}

Animated parseAnimated(const std::string& text, const std::string& option, float low, float high,
                       bool lowIncluded) {
    const size_t colon = text.find(':');
    Animated value;
    value.from = parseNumber(text.substr(0, colon), option);
    value.to =
        colon == std::string::npos ? value.from : parseNumber(text.substr(colon + 1), option);
    for (float v : {value.from, value.to}) {
        if ((lowIncluded ? v < low : v <= low) || v > high) {
            char range[96];
            std::snprintf(range, sizeof range, "%s%g, %g]", lowIncluded ? "[" : "(", low, high);
            throw RenderError(option + ": " + text + " is out of range " + range);
        }
    }
    return value;
}

bool parseSwitch(const std::string& text, const std::string& option) {
    if (text == "on" || text == "true" || text == "1" || text == "yes") {
        return true;
    }
    if (text == "off" || text == "false" || text == "0" || text == "no") {
        return false;
    }
    throw RenderError(option + ": \"" + text + "\" is not on or off");
}

std::string frameFileName(const std::string& path, int frame, int frames) {
    if (frames <= 1) {
        return path;
    }
    const size_t slash = path.find_last_of("/\\");
    size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
        dot = path.size();
    }
    char number[16];
    std::snprintf(number, sizeof number, ".%04d", frame + 1);
    return path.substr(0, dot) + number + path.substr(dot);
}

struct Options {
    std::string lens = "corvala";
    std::optional<std::string> fov, radius, fadeWidth, clip, fadeCircle, fadeFrame;
    std::string size;
    int samples = 1;
    int threads = int(std::max(1u, std::thread::hardware_concurrency()));
    int frames = 1;
    std::string out = "corvala.png";
    std::string env;
    float yaw = 0.0f, pitch = 0.0f, roll = 0.0f;
    std::string library;
    std::string declarations;
};

// The command-line options that set lens parameters, by declared parameter name.
struct ParameterOption {
    const char* option;
    const char* parameter;
    std::optional<std::string> Options::*value;
    bool isSwitch;
    float low, high;
    bool lowIncluded;
};

const ParameterOption parameterOptions[] = {
    {"--fov", "fieldOfView", &Options::fov, false, 0.0f, 360.0f, false},
    {"--radius", "circleRadius", &Options::radius, false, 0.0f, 100.0f, false},
    {"--fade-width", "fadeWidth", &Options::fadeWidth, false, 0.0f, 10.0f, true},
    {"--clip", "clipCircle", &Options::clip, true, 0, 0, false},
    {"--fade-circle", "fadeCircle", &Options::fadeCircle, true, 0, 0, false},
    {"--fade-frame", "fadeFrame", &Options::fadeFrame, true, 0, 0, false},
};

void parseSize(const std::string& text, Camera& camera) {
    int width = 0, height = 0;
    char end = 0;
    if (std::sscanf(text.c_str(), "%dx%d%c", &width, &height, &end) != 2 || width < 1 ||
        height < 1 || width > 16384 || height > 16384) {
        throw RenderError("--size: \"" + text + "\" is not WIDTHxHEIGHT with each from 1 to 16384");
    }
    camera.width = width;
    camera.height = height;
}

class Progress {
  public:
    Progress(int total, bool shown) : total_(total), shown_(shown), start_(clock::now()) {}

    void update(int done) {
        if (!shown_ || !lock_.try_lock()) {
            return;
        }
        const double seconds = elapsed();
        if (done == total_ || seconds - lastShown_ > 0.1) {
            lastShown_ = seconds;
            const double fraction = double(done) / total_;
            const int filled = int(fraction * 30);
            const double left = fraction > 0 ? seconds / fraction - seconds : 0.0;
            std::fprintf(stderr, "\r[%.*s%.*s] %3d%%  %.1f s left ", filled,
                         "##############################", 30 - filled,
                         "..............................", int(fraction * 100), left);
            std::fflush(stderr);
        }
        lock_.unlock();
    }

    void finish() {
        if (shown_) {
            std::fprintf(stderr, "\r%60s\r", "");
        }
    }

    double elapsed() const { return std::chrono::duration<double>(clock::now() - start_).count(); }

  private:
    using clock = std::chrono::steady_clock;
    int total_;
    bool shown_;
    clock::time_point start_;
    double lastShown_ = -1.0;
    std::mutex lock_;
};

int run(int argc, char** argv) {
    Options options;
    CLI::App app{"Renders the built-in scene, or an equirectangular image, through a corvala lens.",
                 "corvala-render"};
    app.add_option("--lens", options.lens, "Lens shader: corvala or environmentLense")
        ->capture_default_str();
    app.add_option("--fov", options.fov,
                   "Fisheye field of view in degrees, (0, 360]; A:B animates");
    app.add_option("--radius", options.radius,
                   "Image circle radius, fraction of half the width, (0, 100]; A:B animates");
    app.add_option("--clip", options.clip, "Transparent black outside the circle: on or off");
    app.add_option("--fade-circle", options.fadeCircle, "Fade toward the circle's rim: on or off");
    app.add_option("--fade-frame", options.fadeFrame, "Fade toward the frame's edges: on or off");
    app.add_option("--fade-width", options.fadeWidth, "Width of both fades, [0, 10]; A:B animates");
    app.add_option("--size", options.size,
                   "Image size WIDTHxHEIGHT (default 512x512, panorama 1024x512)");
    app.add_option("--samples", options.samples, "Samples per pixel, stratified")
        ->check(CLI::Range(1, 4096))
        ->capture_default_str();
    app.add_option("--threads", options.threads, "Rendering threads (default: all cores)")
        ->check(CLI::Range(1, 1024));
    app.add_option("--frames", options.frames, "Frames to render; files are numbered NAME.0001.EXT")
        ->check(CLI::Range(1, 100000))
        ->capture_default_str();
    app.add_option("--out", options.out, "Output image: .png (8-bit sRGB RGBA), .hdr or .exr")
        ->capture_default_str();
    app.add_option(
        "--env", options.env,
        "Equirectangular image (PNG, JPEG, HDR) as the surroundings instead of the scene");
    app.add_option("--yaw", options.yaw, "Turn the camera right, degrees")
        ->check(CLI::Range(-360.0f, 360.0f));
    app.add_option("--pitch", options.pitch, "Turn the camera up, degrees")
        ->check(CLI::Range(-360.0f, 360.0f));
    app.add_option("--roll", options.roll, "Tilt the camera's up to the right, degrees")
        ->check(CLI::Range(-360.0f, 360.0f));
    app.add_option("--library", options.library, "Lens library (default: beside this program)");
    app.add_option("--declarations", options.declarations,
                   "Shader declarations (default: corvala.decl beside the library)");
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& help) {
        return app.exit(help);
    } catch (const CLI::ParseError& error) {
        std::string message = error.what();
        if (const size_t newline = message.find('\n'); newline != std::string::npos) {
            message.resize(newline);
        }
        std::fprintf(stderr, "corvala-render: error: %s\n", message.c_str());
        return badInput;
    }

    const std::string library =
        options.library.empty() ? executableFolder() + "corvala" + librarySuffix : options.library;
    const std::string declarationsPath =
        options.declarations.empty() ? folderOf(library) + "corvala.decl" : options.declarations;
    if (!std::ifstream(library, std::ios::binary)) {
        throw RenderError("cannot load the lens library " + library + " (" + std::strerror(errno) +
                          ")");
    }
    const Declarations declarations = readDeclarations(declarationsPath);
    const ShaderDeclaration* shader = declarations.find(options.lens);
    if (shader == nullptr) {
        throw RenderError("--lens: unknown lens \"" + options.lens + "\" (not declared in " +
                          declarationsPath + ")");
    }

    // Lens parameters: the declared defaults, overridden by the options.
    const int count = int(shader->parameters.size());
    std::vector<Animated> numeric(count);
    std::vector<std::uint32_t> block(size_t(count) * 2, 0);
    for (int i = 0; i < count; ++i) {
        block[i] = shader->parameters[i].defaultWord;
    }
    for (const ParameterOption& p : parameterOptions) {
        const std::optional<std::string>& value = options.*(p.value);
        if (!value) {
            continue;
        }
        const int index = shader->find(p.parameter);
        if (index < 0) {
            throw RenderError(std::string(p.option) + " does not apply to the lens \"" +
                              shader->name + "\"");
        }
        if (p.isSwitch) {
            block[index] = parseSwitch(*value, p.option) ? 1u : 0u;
        } else {
            numeric[index] = parseAnimated(*value, p.option, p.low, p.high, p.lowIncluded);
            block[index] = floatWord(numeric[index].from);
            if (numeric[index].animated()) {
                block[count + index] = 1;  // connected: the host serves its value per frame
            }
        }
    }

    Camera camera;
    if (options.size.empty()) {
        options.size = count == 0 ? "1024x512" : "512x512";
    }
    parseSize(options.size, camera);
    camera.toWorld = cameraRotation(options.yaw, options.pitch, options.roll);

    outputFormatOf(options.out);  // refuse an unknown output format before any work
    Environment environment;
    FrameSettings frame;
    frame.samples = options.samples;
    frame.threads = options.threads;
    if (!options.env.empty()) {
        environment = loadEnvironment(options.env);
        frame.trace = traceEnvironment;
        frame.world = &environment;
        camera.position = {0.0f, 0.0f, 0.0f};
    } else {
        frame.trace = traceScene;
        camera.position = sceneEye;
    }
    checkWritable(frameFileName(options.out, 0, options.frames));
    const Lens lens =
        loadLens(library, executableFolder() + "corvala_host" + librarySuffix, *shader);

    const bool showProgress = isatty(fileno(stderr)) != 0;
    Progress progress(camera.height * options.frames, showProgress);
    const auto clockStart = std::chrono::steady_clock::now();
    for (int f = 0; f < options.frames; ++f) {
        frame.parameterBlock = block;
        frame.connectedValues.assign(size_t(count), 0);
        for (int i = 0; i < count; ++i) {
            frame.connectedValues[i] =
                block[count + i] != 0 ? floatWord(numeric[i].at(f, options.frames)) : block[i];
        }
        const int rowsBefore = f * camera.height;
        frame.progress = [&](int rows) { progress.update(rowsBefore + rows); };
        const Pixels image = renderFrame(lens, camera, frame);
        writeImage(frameFileName(options.out, f, options.frames), camera.width, camera.height,
                   image, options.threads);
    }
    progress.finish();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - clockStart).count();
    const double samples = double(camera.width) * camera.height * options.samples * options.frames;
    std::printf(
        "corvala-render: %s %dx%d, %d sample%s per pixel, %d frame%s, %.2f s, %.2f M samples/s\n",
        options.lens.c_str(), camera.width, camera.height, options.samples,
        options.samples == 1 ? "" : "s", options.frames, options.frames == 1 ? "" : "s", seconds,
        samples / seconds / 1e6);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "corvala-render: error: %s\n", error.what());
        return badInput;
    }
}
