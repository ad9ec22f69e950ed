// Reads a plug-in property resource the way the host does before it loads the library: the list
// header, then vendor, key, id, length, data and padding of each property.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace glfx::hostsim {

struct PropertyList {
    std::string kind;                       // "eFKT" for an effect
    std::string name;                       // counted string, up to its NUL
    std::string category;                   // counted string, up to its NUL
    std::string entryPoint;                 // the x64 entry point's name
    std::string matchName;                  // counted string, up to its NUL
    uint32_t version = 0;                   // eVER
    uint32_t outFlags = 0;                  // eGLO
    uint32_t outFlags2 = 0;                 // eGL2
    uint32_t aeFlags = 0;                   // aeFL
    std::map<std::string, std::string> raw; // every property's data by key, padding removed
};

// Throws std::runtime_error naming the offset and what is wrong when the block is not a
// well-formed list.
PropertyList parsePropertyList(const std::string& bytes);

} // namespace glfx::hostsim
