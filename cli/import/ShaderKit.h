// What both importers do to GLSL: assemble a pass text from generated lines and the author's code
// (keeping where each line came from), pick the #version the code needs, and turn every texture
// lookup and y derivative around, since the host's rows run top to bottom while both formats
// count y upwards.
#pragma once

#include "import/GlslText.h"

#include <set>
#include <string>
#include <vector>

namespace glfx::import {

// Names the importer writes into shaders start with this; an author's code may not use it.
constexpr char kReservedPrefix[] = "glfx_";

// The renderer's own uniform and sampler names: an imported name or an author's identifier equal
// to one of these is renamed.
bool isSystemName(const std::string& name);

class ShaderAssembly {
public:
    // Lines the importer wrote (no source line).
    void generated(const std::string& text);
    // The author's text, whose first line is line `firstLine` of the source.
    void body(const std::string& text, int firstLine);
    // The text without empty lines (as the effect parser keeps it) and each line's source line.
    std::string text() const;
    std::vector<int> lines() const;

private:
    std::vector<std::string> lines_;
    std::vector<int> origins_;
};

// The lowest GLSL version whose features the code uses: 110, 130, 150, 330, 400 or 420, at least
// `floor`.
int neededVersion(const GlslText& code, int floor);

// "#version N" with " compatibility" from 150 on, where the fixed-function names still exist.
std::string versionLine(int version, bool compatibility);

// Renames the texture lookups (texture2D, texture, textureLod, texelFetch, ...) and, in a fragment
// shader, dFdy to helpers that count y upwards, and returns the helpers' definitions the code now
// calls. `modern`: the shader is GLSL 1.30 or later (texture() instead of texture2D()).
// `glfx_sample(sampler2D, vec2)` is always among the definitions when `withSample`.
std::string flipLookups(GlslText& code, bool modern, bool fragment, bool withSample);

// The first of base, base_, base_2, ... that is not in `taken` and not a system name; it is added
// to `taken`.
std::string uniqueName(const std::string& base, std::set<std::string>& taken);

// A GLSL float literal for `value`.
std::string glslFloat(double value);

// A host-visible name: printable ASCII only (others become "_"), at most `limit` bytes.
std::string printableName(const std::string& text, size_t limit);

// An effect name made of `text` that pack takes: printableName's, with the characters a folder
// name cannot hold made "_", dots and blanks at either end dropped, and "_" after a device name
// Windows keeps; empty when nothing is left.
std::string effectNameOf(const std::string& text);

// The file name without folder and extension.
std::string baseName(const std::string& path);

// 1-based line and column of byte `offset` of `text`.
void lineAndColumn(const std::string& text, size_t offset, int& line, int& column);

} // namespace glfx::import
