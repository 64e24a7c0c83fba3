// The shader declarations shipped beside the library: which shaders it has, their versions,
// and their parameters in block order with types and defaults.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace render {

enum class ParameterType { Float, Bool };

struct ParameterDeclaration {
    std::string name;
    ParameterType type;
    std::uint32_t defaultWord;  // the 4-byte value as laid in the parameter block
};

struct ShaderDeclaration {
    std::string name;
    int version = 0;
    int line = 0;
    std::vector<ParameterDeclaration> parameters;

    // Index of the named parameter, or -1.
    int find(std::string_view parameter) const;
};

struct Declarations {
    std::string fileName;
    std::vector<ShaderDeclaration> shaders;

    const ShaderDeclaration* find(std::string_view shader) const;
};

// A malformed declaration; the message names the file and line.
struct DeclarationError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

Declarations parseDeclarations(std::string_view text, const std::string& fileName);
Declarations readDeclarations(const std::string& path);

std::uint32_t floatWord(float value);
float wordFloat(std::uint32_t word);

}  // namespace render
