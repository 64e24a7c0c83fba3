#include "render/Images.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

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
               const std::vector<float>& rgba) {
    const size_t pixels = size_t(width) * size_t(height);
    switch (format) {
        case ImageFormat::Png: {
            std::vector<unsigned char> bytes(pixels * 4);
            for (size_t i = 0; i < pixels; ++i) {
                const float alpha = std::fmin(1.0f, std::fmax(0.0f, rgba[i * 4 + 3]));
                for (int c = 0; c < 3; ++c) {
                    const float straight = alpha > 0.0f ? rgba[i * 4 + c] / alpha : 0.0f;
                    bytes[i * 4 + c] = (unsigned char)std::lround(255.0f * linearToSrgb(straight));
                }
                bytes[i * 4 + 3] = (unsigned char)std::lround(255.0f * alpha);
            }
            if (stbi_write_png(target.c_str(), width, height, 4, bytes.data(), width * 4) == 0) {
                throw ImageError(target + ": " + reasonOf(errno));
            }
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
    const bool hdr = stbi_is_hdr_from_file(file) != 0;
    const bool deep = !hdr && stbi_is_16_bit_from_file(file) != 0;
    const size_t count = size_t(width) * size_t(height) * 3;
    environment.rgb.resize(count);
    if (hdr) {
        std::unique_ptr<float, StbiDeleter> pixels(
            stbi_loadf_from_file(file, &width, &height, &channels, 3));
        if (pixels) {
            std::memcpy(environment.rgb.data(), pixels.get(), count * sizeof(float));
        }
        std::fclose(file);
        if (!pixels) {
            throw ImageError(path + ": corrupt image (" + stbi_failure_reason() + ")");
        }
    } else if (deep) {
        std::unique_ptr<stbi_us, StbiDeleter> pixels(
            stbi_load_from_file_16(file, &width, &height, &channels, 3));
        std::fclose(file);
        if (!pixels) {
            throw ImageError(path + ": corrupt image (" + stbi_failure_reason() + ")");
        }
        for (size_t i = 0; i < count; ++i) {
            environment.rgb[i] = srgbToLinear(pixels.get()[i] / 65535.0f);
        }
    } else {
        std::unique_ptr<stbi_uc, StbiDeleter> pixels(
            stbi_load_from_file(file, &width, &height, &channels, 3));
        std::fclose(file);
        if (!pixels) {
            throw ImageError(path + ": corrupt image (" + stbi_failure_reason() + ")");
        }
        float table[256];
        for (int i = 0; i < 256; ++i) {
            table[i] = srgbToLinear(i / 255.0f);
        }
        for (size_t i = 0; i < count; ++i) {
            environment.rgb[i] = table[pixels.get()[i]];
        }
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

void writeImage(const std::string& path, int width, int height, const std::vector<float>& rgba) {
    const ImageFormat format = outputFormatOf(path);
    const std::string partial = temporaryNameFor(path);
    try {
        writeFile(partial, format, width, height, rgba);
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
