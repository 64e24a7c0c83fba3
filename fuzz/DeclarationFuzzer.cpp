// Feeds the shader declaration reader arbitrary text: it must accept it or throw its own
// error, never crash, hang or trip a sanitizer.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "render/Declarations.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    try {
        const render::Declarations declarations = render::parseDeclarations(
            std::string_view(reinterpret_cast<const char*>(data), size), "fuzz.decl");
        for (const render::ShaderDeclaration& shader : declarations.shaders) {
            if (declarations.find(shader.name) == nullptr) {
                __builtin_trap();
            }
        }
    } catch (const render::DeclarationError&) {
    }
    return 0;
}
