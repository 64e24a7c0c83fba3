#include "render/Declarations.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace render {
namespace {

std::vector<std::string> tokensOf(std::string_view line) {
    const size_t comment = line.find('#');
    if (comment != std::string_view::npos) {
        line = line.substr(0, comment);
    }
    std::vector<std::string> tokens;
    std::istringstream stream{std::string(line)};
    std::string token;
    while (stream >> token) {
        tokens.push_back(token);
    }
    return tokens;
}

bool isName(const std::string& text) {
    if (text.empty() || std::isdigit(static_cast<unsigned char>(text[0]))) {
        return false;
    }
    for (char c : text) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') {
            return false;
        }
    }
    return true;
}

}  // namespace

std::uint32_t floatWord(float value) {
    std::uint32_t word;
    std::memcpy(&word, &value, sizeof word);
    return word;
}

float wordFloat(std::uint32_t word) {
    float value;
    std::memcpy(&value, &word, sizeof value);
    return value;
}

int ShaderDeclaration::find(std::string_view parameter) const {
    for (size_t i = 0; i < parameters.size(); ++i) {
        if (parameters[i].name == parameter) {
            return int(i);
        }
    }
    return -1;
}

const ShaderDeclaration* Declarations::find(std::string_view shader) const {
    for (const ShaderDeclaration& declaration : shaders) {
        if (declaration.name == shader) {
            return &declaration;
        }
    }
    return nullptr;
}

Declarations parseDeclarations(std::string_view text, const std::string& fileName) {
    Declarations result;
    result.fileName = fileName;
    ShaderDeclaration* open = nullptr;
    int lineNumber = 0;
    const auto fail = [&](const std::string& message) {
        throw DeclarationError(fileName + ":" + std::to_string(lineNumber) + ": " + message);
    };

    size_t start = 0;
    while (start <= text.size()) {
        const size_t end = std::min(text.find('\n', start), text.size());
        const std::string_view line = text.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        if (line.find('\0') != std::string_view::npos) {
            fail("unexpected NUL byte");
        }
        const std::vector<std::string> tokens = tokensOf(line);
        if (tokens.empty()) {
            continue;
        }
        const std::string& keyword = tokens[0];
        if (keyword == "shader") {
            if (open != nullptr) {
                fail("shader \"" + open->name + "\" is not closed with \"end\"");
            }
            if (tokens.size() != 4 || tokens[2] != "version") {
                fail("expected \"shader NAME version N\"");
            }
            if (!isName(tokens[1])) {
                fail("\"" + tokens[1] + "\" is not a shader name");
            }
            if (result.find(tokens[1]) != nullptr) {
                fail("shader \"" + tokens[1] + "\" is declared twice");
            }
            char* rest = nullptr;
            errno = 0;
            const long version = std::strtol(tokens[3].c_str(), &rest, 10);
            if (*rest != '\0' || errno != 0 || version < 0 || version > 0x7fffffff) {
                fail("\"" + tokens[3] + "\" is not a version number");
            }
            result.shaders.push_back({tokens[1], int(version), lineNumber, {}});
            open = &result.shaders.back();
        } else if (keyword == "end") {
            if (open == nullptr) {
                fail("\"end\" without a shader");
            }
            if (tokens.size() != 1) {
                fail("unexpected text after \"end\"");
            }
            open = nullptr;
        } else if (keyword == "float" || keyword == "bool") {
            if (open == nullptr) {
                fail("parameter outside a shader");
            }
            if (tokens.size() != 3) {
                fail("expected \"" + keyword + " NAME DEFAULT\"");
            }
            if (!isName(tokens[1])) {
                fail("\"" + tokens[1] + "\" is not a parameter name");
            }
            if (open->find(tokens[1]) >= 0) {
                fail("parameter \"" + tokens[1] + "\" is declared twice");
            }
            ParameterDeclaration parameter{tokens[1], ParameterType::Float, 0};
            if (keyword == "float") {
                char* rest = nullptr;
                const float value = std::strtof(tokens[2].c_str(), &rest);
                if (*rest != '\0' || !std::isfinite(value)) {
                    fail("\"" + tokens[2] + "\" is not a number");
                }
                parameter.defaultWord = floatWord(value);
            } else {
                parameter.type = ParameterType::Bool;
                if (tokens[2] == "on") {
                    parameter.defaultWord = 1;
                } else if (tokens[2] == "off") {
                    parameter.defaultWord = 0;
                } else {
                    fail("a bool's default is on or off, not \"" + tokens[2] + "\"");
                }
            }
            if (open->parameters.size() >= 256) {
                fail("too many parameters");
            }
            open->parameters.push_back(parameter);
        } else {
            fail("unknown keyword \"" + keyword + "\"");
        }
    }
    if (open != nullptr) {
        lineNumber = open->line;
        fail("shader \"" + open->name + "\" is not closed with \"end\"");
    }
    return result;
}

Declarations readDeclarations(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        throw DeclarationError(path + ": cannot read the shader declarations");
    }
    std::ostringstream text;
    text << file.rdbuf();
    return parseDeclarations(text.str(), path);
}

}  // namespace render
