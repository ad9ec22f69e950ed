#include "render/PixelTransfer.h"

#include "AE_EffectPixelFormat.h"

#include <algorithm>
#include <cstring>

namespace glfx {
namespace {

constexpr uint32_t kGlFloat = 0x1406;
constexpr uint32_t kGlUnsignedInt8888Rev = 0x8367;
constexpr float k8 = 0.003921569f;     // 1/255 as the host has always scaled it
constexpr float k16 = 0.000030517578f; // 1/32768, exact

// Staged channel j comes from host channel M[j] (and goes back there on download).
template <int M0, int M1, int M2, int M3> struct Order {
    static constexpr int m[4] = {M0, M1, M2, M3};
};
using ArgbToRgba = Order<1, 2, 3, 0>;
using BgraToRgba = Order<2, 1, 0, 3>;
using BgraToArgb = Order<3, 2, 1, 0>;
using Keep = Order<0, 1, 2, 3>;

template <typename T, typename O>
inline void toFloatPixel(const T* __restrict s, float* __restrict d, float scale) {
    d[0] = static_cast<float>(s[O::m[0]]) * scale;
    d[1] = static_cast<float>(s[O::m[1]]) * scale;
    d[2] = static_cast<float>(s[O::m[2]]) * scale;
    d[3] = static_cast<float>(s[O::m[3]]) * scale;
}

// Four pixels a step, written as straight-line code the compiler turns into vector operations.
template <typename T, typename O>
void toFloatRow(const T* __restrict src, float* __restrict dst, int32_t width, float scale) {
    int32_t x = 0;
    for (; x + 4 <= width; x += 4) {
        toFloatPixel<T, O>(src + 4 * x, dst + 4 * x, scale);
        toFloatPixel<T, O>(src + 4 * x + 4, dst + 4 * x + 4, scale);
        toFloatPixel<T, O>(src + 4 * x + 8, dst + 4 * x + 8, scale);
        toFloatPixel<T, O>(src + 4 * x + 12, dst + 4 * x + 12, scale);
    }
    for (; x < width; ++x)
        toFloatPixel<T, O>(src + 4 * x, dst + 4 * x, scale);
}

// Truncation inside the range, the range's ends outside it; NaN fails both tests and gives 0.
template <typename T> inline T toChannel(float f, float scale, float maximum) {
    float v = f * scale;
    v = v > 0.0f ? v : 0.0f;
    v = v < maximum ? v : maximum;
    return static_cast<T>(static_cast<int32_t>(v));
}

template <> inline float toChannel<float>(float f, float, float) {
    return f;
}

template <typename T, typename O>
inline void fromFloatPixel(const float* __restrict s, T* __restrict d, float scale, float maximum) {
    d[O::m[0]] = toChannel<T>(s[0], scale, maximum);
    d[O::m[1]] = toChannel<T>(s[1], scale, maximum);
    d[O::m[2]] = toChannel<T>(s[2], scale, maximum);
    d[O::m[3]] = toChannel<T>(s[3], scale, maximum);
}

template <typename T, typename O>
void fromFloatRow(const float* __restrict src, T* __restrict dst, int32_t width, float scale,
                  float maximum) {
    int32_t x = 0;
    for (; x + 4 <= width; x += 4) {
        fromFloatPixel<T, O>(src + 4 * x, dst + 4 * x, scale, maximum);
        fromFloatPixel<T, O>(src + 4 * x + 4, dst + 4 * x + 4, scale, maximum);
        fromFloatPixel<T, O>(src + 4 * x + 8, dst + 4 * x + 8, scale, maximum);
        fromFloatPixel<T, O>(src + 4 * x + 12, dst + 4 * x + 12, scale, maximum);
    }
    for (; x < width; ++x)
        fromFloatPixel<T, O>(src + 4 * x, dst + 4 * x, scale, maximum);
}

const char* hostRow(const PF_EffectWorld* w, int32_t y) {
    return reinterpret_cast<const char*>(w->data) + static_cast<ptrdiff_t>(y) * w->rowbytes;
}

char* hostRow(PF_EffectWorld* w, int32_t y) {
    return reinterpret_cast<char*>(w->data) + static_cast<ptrdiff_t>(y) * w->rowbytes;
}

template <typename T, typename O>
void uploadConverting(const PF_EffectWorld* w, int32_t width, int32_t height, float* dst,
                      float scale) {
    for (int32_t y = 0; y < height; ++y)
        toFloatRow<T, O>(reinterpret_cast<const T*>(hostRow(w, y)),
                         dst + static_cast<size_t>(y) * width * 4, width, scale);
}

template <typename T, typename O>
void downloadConverting(const float* src, PF_EffectWorld* w, float scale, float maximum) {
    for (int32_t y = 0; y < w->height; ++y)
        fromFloatRow<T, O>(src + static_cast<size_t>(y) * w->width * 4,
                           reinterpret_cast<T*>(hostRow(w, y)), w->width, scale, maximum);
}

} // namespace

bool chooseTransfer(PF_PixelFormat format, bool fast, bool hostIsPremiere, Transfer* out) {
    const bool raw = fast && !hostIsPremiere;
    switch (format) {
    case PF_PixelFormat_ARGB128:
        *out = raw ? Transfer::Raw32 : Transfer::Converting32;
        return true;
    case PF_PixelFormat_ARGB64:
        *out = raw ? Transfer::Raw16 : Transfer::Converting16;
        return true;
    case PF_PixelFormat_ARGB32:
        if (raw)
            *out = Transfer::Raw8;
        else if (!hostIsPremiere)
            *out = Transfer::Converting8;
        else
            *out = fast ? Transfer::Converting8PremiereFast : Transfer::Converting8Premiere;
        return true;
    default:
        return false;
    }
}

uint32_t stagingPixelType(Transfer transfer) {
    return transfer == Transfer::Raw8 ? kGlUnsignedInt8888Rev : kGlFloat;
}

int stagingPixelBytes(Transfer transfer) {
    return transfer == Transfer::Raw8 ? 4 : 16;
}

void uploadWorld(Transfer t, const PF_EffectWorld* w, int32_t width, int32_t height,
                 void* staging) {
    if (width <= 0 || height <= 0 || !staging) return;
    const size_t bytes = static_cast<size_t>(width) * height * stagingPixelBytes(t);
    if (!w || !w->data || w->width < width || w->height < height) {
        std::memset(staging, 0, bytes);
        return;
    }
    float* f = static_cast<float*>(staging);
    switch (t) {
    case Transfer::Converting8:
        uploadConverting<uint8_t, ArgbToRgba>(w, width, height, f, k8);
        break;
    case Transfer::Converting8Premiere:
        uploadConverting<uint8_t, BgraToRgba>(w, width, height, f, k8);
        break;
    case Transfer::Converting8PremiereFast:
        uploadConverting<uint8_t, BgraToArgb>(w, width, height, f, k8);
        break;
    case Transfer::Converting16:
        uploadConverting<uint16_t, ArgbToRgba>(w, width, height, f, k16);
        break;
    case Transfer::Raw16:
        uploadConverting<uint16_t, Keep>(w, width, height, f, k16);
        break;
    case Transfer::Converting32:
        uploadConverting<float, ArgbToRgba>(w, width, height, f, 1.0f);
        break;
    case Transfer::Raw8:
    case Transfer::Raw32: {
        const size_t row = static_cast<size_t>(width) * stagingPixelBytes(t);
        for (int32_t y = 0; y < height; ++y)
            std::memcpy(static_cast<char*>(staging) + y * row, hostRow(w, y), row);
        break;
    }
    }
}

void downloadWorld(Transfer t, const void* staging, PF_EffectWorld* w) {
    if (!w || !w->data || !staging || w->width <= 0) return;
    const float* f = static_cast<const float*>(staging);
    switch (t) {
    case Transfer::Converting8:
        downloadConverting<uint8_t, ArgbToRgba>(f, w, 255.0f, 255.0f);
        break;
    case Transfer::Converting8Premiere:
        downloadConverting<uint8_t, BgraToRgba>(f, w, 255.0f, 255.0f);
        break;
    case Transfer::Converting8PremiereFast:
        downloadConverting<uint8_t, BgraToArgb>(f, w, 255.0f, 255.0f);
        break;
    case Transfer::Converting16:
        downloadConverting<uint16_t, ArgbToRgba>(f, w, 32768.0f, 32768.0f);
        break;
    case Transfer::Raw16:
        downloadConverting<uint16_t, Keep>(f, w, 32768.0f, 32768.0f);
        break;
    case Transfer::Converting32:
        downloadConverting<float, ArgbToRgba>(f, w, 1.0f, 0.0f);
        break;
    case Transfer::Raw8:
    case Transfer::Raw32: {
        const size_t row = static_cast<size_t>(w->width) * stagingPixelBytes(t);
        for (int32_t y = 0; y < w->height; ++y)
            std::memcpy(hostRow(w, y), static_cast<const char*>(staging) + y * row, row);
        break;
    }
    }
}

void uploadLayers(Transfer t, SequenceState& state, int32_t firstSlot, int32_t layerCount) {
    for (int32_t k = std::max(firstSlot, 0); k < std::min(layerCount, kMaxLayers); ++k)
        uploadWorld(t, static_cast<const PF_EffectWorld*>(state.layerWorlds[k]),
                    state.layerWidth[k], state.layerHeight[k], state.layerBuffers[k]);
}

} // namespace glfx
