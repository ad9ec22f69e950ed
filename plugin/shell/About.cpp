#include "shell/About.h"

#include "host/HostSuites.h"
#include "records/GlobalState.h"
#include "records/HostApp.h"

#include <algorithm>

namespace glfx {
namespace {

constexpr size_t kAboutDescriptionBytes = 201;

void replaceEscape(std::string& text, char letter, char replacement) {
    const char pair[] = {'\\', letter, '\0'};
    for (size_t at = text.find(pair); at != std::string::npos; at = text.find(pair, at + 1))
        text.replace(at, 2, 1, replacement); // the search resumes just after the new character
}

std::string upToNul(const std::string& s) {
    return s.substr(0, s.find('\0'));
}

} // namespace

std::string aboutDescription(const std::string& description) {
    std::string text = description;
    replaceEscape(text, 'r', '\r');
    replaceEscape(text, 'n', '\n');
    if (text.size() > kAboutDescriptionBytes) text.resize(kAboutDescriptionBytes);
    return text;
}

AboutParts aboutParts(const EffectSettings& settings) {
    AboutParts p;
    p.name = upToNul(settings.name).substr(0, kMaxEffectNameBytes);
    p.version = upToNul(settings.version);
    p.description = upToNul(aboutDescription(settings.description));
    // A blank and a carriage return stand between the three parts.
    const size_t room = kMessageBytes - 2 - p.name.size();
    if (p.version.size() > room) p.version.resize(room);
    const size_t left = room - p.version.size();
    if (p.description.size() > left) p.description.resize(left);
    return p;
}

PF_Err about(PF_InData* in_data, PF_OutData* out_data) {
    if (isPremiere(in_data)) return PF_Err_NONE;
    HostSuites suites(in_data);
    const AboutParts p = aboutParts(loadedEffect().description.settings);
    suites.ansi().sprintf(out_data->return_msg, "%s %s\r%s", p.name.c_str(), p.version.c_str(),
                          p.description.c_str());
    return PF_Err_NONE;
}

} // namespace glfx
