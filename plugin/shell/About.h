// The about box: name and version on the first line, the description below.
#pragma once

#include "AE_Effect.h"
#include "effect/EffectDescription.h"

#include <string>

namespace glfx {

// The host reserves 256 bytes for return_msg, its terminator included.
constexpr size_t kMessageBytes = PF_MAX_EFFECT_MSG_LEN;

// The description with each backslash-r turned into a carriage return, then each backslash-n into
// a line feed, cut to its first 201 bytes.
std::string aboutDescription(const std::string& description);

// The three texts the box shows, each cut at its first NUL (where the host's "%s" stops), the
// version and then the description shortened so that "name version\rdescription" fits in
// kMessageBytes.
struct AboutParts {
    std::string name, version, description;
};
AboutParts aboutParts(const EffectSettings& settings);

// PF_Cmd_ABOUT: formats the parts into out_data->return_msg with the host's sprintf from the
// ANSI suite. Writes nothing under Premiere Pro. Throws 516 without the suite.
PF_Err about(PF_InData* in_data, PF_OutData* out_data);

} // namespace glfx
