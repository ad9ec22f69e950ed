// The parsed effect code: settings, parameter entries, routing and pass sources.
// One process-wide instance; written by parseDescription during global set-up only, read-only
// (and read without locks) by every other command afterwards.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace glfx {

constexpr int kMaxParams = 128;
constexpr int kMaxPasses = 32;
constexpr int kMaxSlots = 32;
constexpr int kMaxLayers = 32;
// A routing element that names no source.
constexpr int32_t kEmptySlot = 999;
constexpr size_t kMaxEffectNameBytes = 31;

// Routing sources: N >= 0 is the output of pass N, -(K + 1) is layer K.
constexpr int32_t layerSource(int32_t layer) {
    return -(layer + 1);
}
constexpr bool isLayerSource(int32_t src) {
    return src < 0;
}
constexpr int32_t layerOfSource(int32_t src) {
    return -src - 1;
}
// 1000 + N: the result pass N gave on the previous frame ("prev_psN" in a routing line). Older
// readers of the text leave such a slot empty.
constexpr int32_t kPreviousSourceBase = 1000;
constexpr int32_t previousSource(int32_t pass) {
    return kPreviousSourceBase + pass;
}
constexpr bool isPreviousSource(int32_t src) {
    return src >= kPreviousSourceBase && src < kPreviousSourceBase + kMaxPasses;
}
constexpr int32_t passOfPreviousSource(int32_t src) {
    return src - kPreviousSourceBase;
}

// Codes are stored in effect texts' parsed form and in nothing persistent, but the renderer's
// uniform rule compares them numerically ("below Layer"), so the values are fixed.
enum class ParamType : int32_t {
    None = -1,
    Int = 0,
    Check = 1,
    Popup = 2,
    Layer = 3,
    Float = 4,
    Color = 5,
    Angle = 6,
    Point = 7,
    TopicStart = 8,
    TopicEnd = 9,
    Float2 = 10,
};

class EffectDescription;
// Some pass of the effect keeps its result for the next frame.
bool usesFeedback(const EffectDescription& description);

// The keyword of a type as effect texts write it ("float", "topic_start", ...).
const char* paramTypeKeyword(ParamType type);

class ParamSpec {
public:
    virtual ~ParamSpec() = default;

    int32_t components = 1; // float components of the uniform; 0 = no uniform
    ParamType type = ParamType::Float;
    bool hidden = false;
    std::string name;    // shown in the host
    std::string uniform; // GLSL identifier of the uniform or "#define"
    std::array<float, 3> defaultValue{0.0f, 0.0f, 0.0f}; // for a layer: [0] is its time offset
    float min = 0.0f;
    float max = 1.0f;
    std::string text;  // the raw "text"/"popup" value
    int32_t group = 0; // N >= 1: member of group N; -N: switch for groups N, N+1, ...
    std::vector<std::string> items;
    int32_t flags = 0;
};

// What a pass declares beyond its routing, through "psN_..." keys of [settings] that older readers
// ignore.
struct PassOptions {
    // Size expressions over $WIDTH, $HEIGHT (the output's size) and the numeric parameters'
    // uniforms; empty: the output's size.
    std::string width;
    std::string height;
    // The result is kept for the next frame. Set by "psN_persistent=1" and by any "prev_psN".
    bool persistent = false;
    // The result keeps values outside 0 ... 1 (it is not clamped), and a kept result is stored as
    // 32-bit floats instead of 8 bits per channel.
    bool floatStorage = false;
};

class EffectSettings {
public:
    EffectSettings();
    virtual ~EffectSettings() = default;

    // Every routing element empty except pass 0, slot 0, which reads layer 0.
    void resetRouting();

    std::string name; // at most kMaxEffectNameBytes
    std::string description;
    std::string category;
    std::string uniqueid;
    std::string version;
    int32_t paramCount = 0; // 0 ... kMaxParams
    int32_t cellsx = 1;
    int32_t cellsy = 1;
    int32_t layerCount = 1; // 1 ... kMaxLayers
    bool fast = false;
    int32_t passCount = 1; // 0 ... kMaxPasses
    int32_t noinput = 0;
    int32_t edgeRepeat = 0;
    int32_t routing[kMaxPasses][kMaxSlots]; // [pass][slot]
    std::array<PassOptions, kMaxPasses> passOptions;
    // Checkpoints of persistent passes' results: every this many frames (0: the default), within
    // this many MiB per instance (below 0: the default). Keys "checkpoint_every",
    // "checkpoint_budget".
    int32_t checkpointEvery = 0;
    int32_t checkpointBudgetMiB = -1;
};

class EffectDescription {
public:
    virtual ~EffectDescription() = default;

    std::vector<std::string> pixelShaders; // kMaxPasses entries after a parse of >= 3 bytes
    std::string vertexShader;
    std::array<ParamSpec, kMaxParams> params;
    EffectSettings settings;
};

} // namespace glfx
