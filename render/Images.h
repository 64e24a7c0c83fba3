// Reading environment images and writing rendered frames.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "render/Pixels.h"
#include "render/World.h"

namespace render {

struct ImageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Reads a PNG, JPEG, Radiance HDR (or other format the image library knows) into linear light.
Environment loadEnvironment(const std::string& path);

enum class ImageFormat { Png, Hdr, Exr };

// The format the file name asks for; throws for a name without a known extension.
ImageFormat outputFormatOf(const std::string& path);

// Makes sure a file can be created next to path, before any time is spent rendering.
void checkWritable(const std::string& path);

// Writes premultiplied linear RGBA: PNG as 8-bit sRGB with straight alpha, HDR and EXR as
// floats, converting on the given number of threads. The file appears whole or not at all: it
// is written beside its final name first.
void writeImage(const std::string& path, int width, int height, const Pixels& rgba, int threads);

float srgbToLinear(float encoded);
float linearToSrgb(float linear);

}  // namespace render
