// What `glfx check` finds in an effect text without a GPU: where each pass's GLSL came from in the
// file, and the lines the parser takes without complaint although they cannot mean what the
// author wrote.
//
// The parser reports nothing (lines that fit no rule are skipped), so this module reads the text
// again with the same line rules and compares what the author wrote with what the parser made of
// it. It never changes the description. Nothing here throws except std::bad_alloc.
#pragma once

#include "effect/EffectDescription.h"

#include <array>
#include <string>
#include <vector>

namespace glfx::cli {

// The file lines (1-based) that a shader text was assembled from: line k of the text (1-based) is
// file line `fileLines[k - 1]`. The parser skips empty lines, so the two numberings drift apart.
struct SourceLines {
    int headerLine = 0; // the section header that last started this text; 0 when none
    std::vector<int> fileLines;
};

struct SourceMap {
    std::array<SourceLines, kMaxPasses> passes;
    SourceLines vertex;
    // The header line of the section that last chose each parameter entry; 0 when none did.
    std::array<int, kMaxParams> paramLines{};
    int routingLine = 0;
};

// Follows the parser's line rules over `code` (the text as readCodeFile gives it).
SourceMap mapSources(const std::string& code);

struct Diagnostic {
    enum class Severity { Warning, Error };
    Severity severity = Severity::Warning;
    int line = 0;  // 1-based file line; 0 when the problem has no line
    int pass = -1; // the pass it concerns; -1 for the effect as a whole
    std::string message;
};

// "FILE:LINE: pass N: error: message"; the line and the pass are left out when unknown.
std::string formatDiagnostic(const std::string& file, const Diagnostic& d);

// Warnings for what the format ignores without a word: unknown sections and keys, type keywords
// that are not one of the twelve, blanks around "=", headers without "]", section numbers that
// read as another number, routing lines that change nothing, samplers a pass reads that its
// routing does not bind, parameters that no pass uses, uniforms declared with another type than
// the parameter sets. Errors for what stops the effect from loading or rendering at all: a routing
// key the parser rejects, no pass at all. `description` is the parse of `code`, or what the parse
// left when it threw. Sorted by line.
std::vector<Diagnostic> lintEffect(const std::string& code, const EffectDescription& description,
                                   const SourceMap& map);

// The value of the last "KEY=" line under [settings] as written, before the parser cuts or
// converts it; empty when there is none.
std::string rawSettingsValue(const std::string& code, const std::string& key);

// One GLSL identifier or number token of a shader text with its 1-based line in that text; the
// comments are left out. Used to tell declarations from uses.
struct Token {
    std::string text;
    int line = 0;
};
std::vector<Token> tokenizeGlsl(const std::string& source);

} // namespace glfx::cli
