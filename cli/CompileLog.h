// GLSL compiler logs read back into lines of the effect file.
//
// Drivers write each message with the line of the source string it was given: Mesa as
// "0:LINE(COLUMN): error: ...", NVIDIA as "0(LINE) : error C0000: ...", others as
// "ERROR: 0:LINE: ...". A pass's source is the define preamble followed by the pass text, so a line
// number goes back to the file through the preamble's length and the pass's SourceLines.
#pragma once

#include "EffectLint.h"

#include <string>
#include <vector>

namespace glfx::cli {

struct CompileLogEntry {
    int line = 0;      // 1-based line of the compiled source; 0 when the message names none
    bool error = true; // false only for a message the driver marks as a warning
    std::string message;
};

// One entry per non-empty log line; the location and the error/warning word are removed from
// the message.
std::vector<CompileLogEntry> parseCompileLog(const std::string& log);

// The file line of line `sourceLine` of a compiled source made of a preamble, whose lines came
// from `preambleLines` (one file line each), and a shader text mapped by `text`. A line past the
// text's end (where "unexpected end of file" is reported) maps to its last line; 0 or an
// unknown line maps to the text's header.
// `versionFirst`: the text's first line, a version directive, was put ahead of the preamble.
int fileLineOf(const SourceLines& text, const std::vector<int>& preambleLines, int sourceLine,
               bool versionFirst = false);

} // namespace glfx::cli
