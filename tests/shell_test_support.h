// Shared pieces of the plug-in shell tests: the built libraries, libraries packed on the fly, and
// a host that checks for leaks and faults when the test is done with it. The Windows runner has
// them too, with paths as it opens them under Wine.
#pragma once

#include "hostsim/Host.h"

#include <memory>
#include <string>

namespace glfx::testing {

// The libraries the build produced.
std::string templateLibrary();  // unpatched: reads its code from the per-user file
std::string shippedLibrary();   // Quadra_remapping_fx, enciphered
std::string shellTestLibrary(); // the shell test effect, enciphered
std::string shellTestEffectText();

// A private copy of the template with `code` packed under `name`. Each call gives a new file,
// so the library's process-wide data starts fresh.
std::string packedLibrary(const std::string& code, const std::string& name, bool plain = false);
// A private copy of a library file, loaded fresh.
std::string freshCopy(const std::string& path);
// A new, empty folder under the test's temporary folder.
std::string temporaryFolder();

// Throw std::runtime_error naming the file when it cannot be read or written.
std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);

#ifndef _WIN32
// Points the per-user folder at `folder` (XDG_CONFIG_HOME) for its lifetime, restoring the
// environment afterwards. Windows has no such override: its shell answers from the profile.
class UserFolderOverride {
public:
    explicit UserFolderOverride(const std::string& folder);
    ~UserFolderOverride();

private:
    std::string savedXdg_, savedHome_;
    bool hadXdg_, hadHome_;
};
#endif

// A Host that, when the test is done with it, lifts every injected fault, sets everything down
// and expects no problem and no live handle: every suite acquired in a command was released in
// it, and no handle leaked.
class CheckedHost : public hostsim::Host {
public:
    using Host::Host;
    ~CheckedHost();
};

// The in-process entry point: the same dispatch as the library's, linked into the test.
std::shared_ptr<hostsim::PluginLibrary> inProcessLibrary();

} // namespace glfx::testing
