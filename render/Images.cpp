#include "render/Images.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>

#if defined(_WIN32)
#include <process.h>
#define getpid _getpid
#else
#include <unistd.h>
#endif

#define STB_IMAGE_IMPLEMENTATION
#define STBI_FAILURE_USERMSG
#include <stb/stb_image.h>
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

#if defined(CORVALA_RENDER_EXR)
#include <ImfRgbaFile.h>
#endif
#if defined(CORVALA_RENDER_LIBPNG)
#include <png.h>
#endif

namespace render {
namespace {

// Larger environments are refused rather than risk exhausting memory.
constexpr long long maxEnvironmentPixels = 1LL << 28;

std::string lowerExtension(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
        return {};
    }
    std::string extension = path.substr(dot + 1);
    for (char& c : extension) {
        c = char(std::tolower(static_cast<unsigned char>(c)));
    }
    return extension;
}

std::string temporaryNameFor(const std::string& path) {
    static int counter = 0;
    const size_t slash = path.find_last_of("/\\");
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::string extension = lowerExtension(path);
    return folder + "." + name + ".partial-" + std::to_string(getpid()) + "-" +
           std::to_string(counter++) + "." + extension;
}

std::string reasonOf(int error) {
    return error != 0 ? std::strerror(error) : "write failed";
}

struct StbiDeleter {
    void operator()(void* pixels) const { stbi_image_free(pixels); }
};

void writeFile(const std::string& target, ImageFormat format, int width, int height,
               const Pixels& rgba, int threads) {
    const size_t pixels = size_t(width) * size_t(height);
    switch (format) {
        case ImageFormat::Png: {
            // sRGB codes by a branch-free binary search among the linear values halfway
            // between codes: exact rounding without a power function per channel.
            static const std::vector<float> thresholds = [] {
                std::vector<float> t(256, INFINITY);
                for (int code = 1; code < 256; ++code) {
                    t[code - 1] = srgbToLinear((float(code) - 0.5f) / 255.0f);
                }
                return t;
            }();
            const auto encode = [](float linear) {
                int code = 0;
                for (int step = 128; step > 0; step /= 2) {
                    code += linear >= thresholds[code + step - 1] ? step : 0;
                }
                return (unsigned char)code;
            };
            Bytes bytes(pixels * 4);
            const auto convert = [&](size_t begin, size_t end) {
                for (size_t i = begin; i < end; ++i) {
                    const float alpha = std::fmin(1.0f, std::fmax(0.0f, rgba[i * 4 + 3]));
                    for (int c = 0; c < 3; ++c) {
                        bytes[i * 4 + c] = alpha > 0.0f ? encode(rgba[i * 4 + c] / alpha) : 0;
                    }
                    bytes[i * 4 + 3] = (unsigned char)std::lround(255.0f * alpha);
                }
            };
            std::vector<std::thread> helpers;
            for (int t = 1; t < threads; ++t) {
                helpers.emplace_back(convert, pixels * t / threads, pixels * (t + 1) / threads);
            }
            convert(0, pixels / threads);
            for (auto& helper : helpers) {
                helper.join();
            }
#if defined(CORVALA_RENDER_LIBPNG)
            png_image image{};
            image.version = PNG_IMAGE_VERSION;
            image.width = png_uint_32(width);
            image.height = png_uint_32(height);
            image.format = PNG_FORMAT_RGBA;
            image.flags = PNG_IMAGE_FLAG_FAST;
            if (png_image_write_to_file(&image, target.c_str(), 0, bytes.data(), 0, nullptr) == 0) {
                const std::string reason = image.message;
                png_image_free(&image);
                throw ImageError(target + ": " + reason);
            }
#else
            if (stbi_write_png(target.c_str(), width, height, 4, bytes.data(), width * 4) == 0) {
                throw ImageError(target + ": " + reasonOf(errno));
            }
#endif
            return;
        }
        case ImageFormat::Hdr: {
            std::vector<float> rgb(pixels * 3);
            for (size_t i = 0; i < pixels; ++i) {
                for (int c = 0; c < 3; ++c) {
                    rgb[i * 3 + c] = std::fmax(0.0f, rgba[i * 4 + c]);
                }
            }
            if (stbi_write_hdr(target.c_str(), width, height, 3, rgb.data()) == 0) {
                throw ImageError(target + ": " + reasonOf(errno));
            }
            return;
        }
        case ImageFormat::Exr: {
#if defined(CORVALA_RENDER_EXR)
            try {
                std::vector<Imf::Rgba> halves(pixels);
                for (size_t i = 0; i < pixels; ++i) {
                    halves[i] =
                        Imf::Rgba(rgba[i * 4], rgba[i * 4 + 1], rgba[i * 4 + 2], rgba[i * 4 + 3]);
                }
                Imf::RgbaOutputFile file(target.c_str(), width, height, Imf::WRITE_RGBA);
                file.setFrameBuffer(halves.data(), 1, size_t(width));
                file.writePixels(height);
            } catch (const std::exception& error) {
                throw ImageError(target + ": " + error.what());
            }
            return;
#else
            throw ImageError(target + ": this build writes no EXR files");
#endif
        }
    }
}

// 8-bit sRGB codes of an image of the given size: through libpng for PNG files where the build
// has it (it decodes several times faster), through the image library otherwise.
Bytes loadEncoded(const std::string& path, int width, int height) {
    const size_t count = size_t(width) * size_t(height) * 3;
#if defined(CORVALA_RENDER_LIBPNG)
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_file(&image, path.c_str()) != 0) {
        image.format = PNG_FORMAT_RGB;
        Bytes pixels(PNG_IMAGE_SIZE(image));
        if (int(image.width) == width && int(image.height) == height && pixels.size() == count &&
            png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr) != 0) {
            return pixels;
        }
        const std::string reason = image.message;
        png_image_free(&image);
        throw ImageError(path + ": corrupt image (" + reason + ")");
    }
    png_image_free(&image);  // not a PNG file: the image library reads it
#endif
    int w = 0, h = 0, channels = 0;
    std::unique_ptr<stbi_uc, StbiDeleter> pixels(stbi_load(path.c_str(), &w, &h, &channels, 3));
    if (!pixels || w != width || h != height) {
        throw ImageError(path + ": corrupt image (" + stbi_failure_reason() + ")");
    }
    return Bytes(pixels.get(), pixels.get() + count);
}

}  // namespace

float srgbToLinear(float encoded) {
    return encoded <= 0.04045f ? encoded / 12.92f : std::pow((encoded + 0.055f) / 1.055f, 2.4f);
}

float linearToSrgb(float linear) {
    if (!(linear > 0.0f)) {
        return 0.0f;
    }
    if (linear >= 1.0f) {
        return 1.0f;
    }
    return linear <= 0.0031308f ? linear * 12.92f : 1.055f * std::pow(linear, 1.0f / 2.4f) - 0.055f;
}

Environment loadEnvironment(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        throw ImageError(path + ": " + std::strerror(errno));
    }
    int width = 0, height = 0, channels = 0;
    if (stbi_info_from_file(file, &width, &height, &channels) == 0) {
        std::fclose(file);
        throw ImageError(path + ": not a readable image (" + stbi_failure_reason() + ")");
    }
    if (width < 2 || height < 1 || (long long)width * height > maxEnvironmentPixels) {
        std::fclose(file);
        throw ImageError(path + ": unsupported image size " + std::to_string(width) + "x" +
                         std::to_string(height));
    }
    Environment environment;
    for (int code = 0; code < 256; ++code) {
        environment.decode[code] = srgbToLinear(float(code) / 255.0f);
    }
    const size_t count = size_t(width) * size_t(height) * 3;
    if (stbi_is_hdr_from_file(file) != 0) {
        std::unique_ptr<float, StbiDeleter> pixels(
            stbi_loadf_from_file(file, &width, &height, &channels, 3));
        std::fclose(file);
        if (!pixels) {
            throw ImageError(path + ": corrupt image (" + stbi_failure_reason() + ")");
        }
        environment.linear.assign(pixels.get(), pixels.get() + count);
    } else {
        std::fclose(file);
        environment.encoded = loadEncoded(path, width, height);
    }
    environment.width = width;
    environment.height = height;
    return environment;
}

ImageFormat outputFormatOf(const std::string& path) {
    const std::string extension = lowerExtension(path);
    if (extension == "png") {
        return ImageFormat::Png;
    }
    if (extension == "hdr") {
        return ImageFormat::Hdr;
    }
#if defined(CORVALA_RENDER_EXR)
    if (extension == "exr") {
        return ImageFormat::Exr;
    }
    throw ImageError(path + ": the output name must end in .png, .hdr or .exr");
#else
    throw ImageError(path + ": the output name must end in .png or .hdr");
#endif
}

void checkWritable(const std::string& path) {
    const std::string probe = temporaryNameFor(path);
    std::FILE* file = std::fopen(probe.c_str(), "wb");
    if (file == nullptr) {
        throw ImageError(path + ": cannot write here (" + std::strerror(errno) + ")");
    }
    std::fclose(file);
    std::remove(probe.c_str());
}

void writeImage(const std::string& path, int width, int height, const Pixels& rgba, int threads) {
    const ImageFormat format = outputFormatOf(path);
    const std::string partial = temporaryNameFor(path);
    try {
        writeFile(partial, format, width, height, rgba, threads);
    } catch (...) {
        std::remove(partial.c_str());
        throw;
    }
#if defined(_WIN32)
    std::remove(path.c_str());  // the C runtime's rename does not replace
#endif
    if (std::rename(partial.c_str(), path.c_str()) != 0) {
        const int error = errno;
        std::remove(partial.c_str());
        throw ImageError(path + ": " + std::strerror(error));
    }
}

}  // namespace render
