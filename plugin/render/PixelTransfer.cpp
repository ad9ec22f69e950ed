#include "render/PixelTransfer.h"

#include "AE_EffectPixelFormat.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <type_traits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace glfx {
namespace {

constexpr uint32_t kGlFloat = 0x1406;
constexpr uint32_t kGlUnsignedInt8888Rev = 0x8367;
constexpr uint32_t kGlUnsignedInt8888 = 0x8035;
constexpr uint32_t kGlUnsignedByte = 0x1401;
constexpr uint32_t kGlRgba = 0x1908;
constexpr uint32_t kGlBgra = 0x80E1;
constexpr float k8 = 0.003921569f;     // 1/255 as the host has always scaled it
constexpr float k16 = 0.000030517578f; // 1/32768, exact

// Staged channel j comes from host channel M[j] (and goes back there on download); host channel
// i goes to staged channel inv[i].
template <int M0, int M1, int M2, int M3> struct Order {
    static constexpr int m[4] = {M0, M1, M2, M3};
    static constexpr int inv(int i) { return M0 == i ? 0 : M1 == i ? 1 : M2 == i ? 2 : 3; }
};
using ArgbToRgba = Order<1, 2, 3, 0>;
using BgraToRgba = Order<2, 1, 0, 3>;
using BgraToArgb = Order<3, 2, 1, 0>;
using Keep = Order<0, 1, 2, 3>;

template <typename T, typename O>
inline void toFloatPixel(const T* __restrict s, float* __restrict d, float scale) {
    // Floats pass unchanged: a multiply by 1 would still quiet a signalling NaN's bits.
    if constexpr (std::is_same_v<T, float>) {
        d[0] = s[O::m[0]];
        d[1] = s[O::m[1]];
        d[2] = s[O::m[2]];
        d[3] = s[O::m[3]];
        return;
    }
    d[0] = static_cast<float>(s[O::m[0]]) * scale;
    d[1] = static_cast<float>(s[O::m[1]]) * scale;
    d[2] = static_cast<float>(s[O::m[2]]) * scale;
    d[3] = static_cast<float>(s[O::m[3]]) * scale;
}

// The nearest step inside the range, the range's ends outside it; NaN fails both tests and gives
// 0. Every byte the upload staged comes back as itself: k * (1/255) * 255 is within a few ulps of k.
template <typename T> inline T toChannel(float f, float scale, float maximum) {
    float v = f * scale;
    v = v > 0.0f ? v : 0.0f;
    v = v < maximum ? v : maximum;
    return static_cast<T>(static_cast<int32_t>(v + 0.5f));
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

#if defined(__SSE2__)
// SSE2, the x86-64 baseline. Every lane does what the scalar code does to its channel (exact
// int-to-float conversion, one single-precision multiply; on the way back multiply, clamp with NaN
// to 0, add a half and truncate), so both give the same bits; the per-pixel reorder is one shuffle.
//
// Staging rows are written with non-temporal stores when aligned: a frame's staging buffer is far
// larger than the caches and is next read by the GL upload, not by this thread.

// The shuffle selector must be an immediate also in unoptimised builds, hence the constants.
template <typename O> inline __m128 toStaged(__m128 hostOrder) {
    constexpr int selector = _MM_SHUFFLE(O::m[3], O::m[2], O::m[1], O::m[0]);
    return _mm_shuffle_ps(hostOrder, hostOrder, selector);
}
template <typename O> inline __m128 toHost(__m128 staged) {
    constexpr int selector = _MM_SHUFFLE(O::inv(3), O::inv(2), O::inv(1), O::inv(0));
    return _mm_shuffle_ps(staged, staged, selector);
}

inline bool aligned16(const void* p) {
    return (reinterpret_cast<uintptr_t>(p) & 15u) == 0;
}

template <bool Stream> inline void storePixel(float* d, __m128 v) {
    if (Stream)
        _mm_stream_ps(d, v);
    else
        _mm_storeu_ps(d, v);
}

template <typename O, bool Stream>
void bytesToFloatRow(const uint8_t* src, float* dst, int32_t width, float scale) {
    const __m128i zero = _mm_setzero_si128();
    const __m128 s = _mm_set1_ps(scale);
    int32_t x = 0;
    for (; x + 4 <= width; x += 4) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 4 * x));
        const __m128i lo = _mm_unpacklo_epi8(v, zero);
        const __m128i hi = _mm_unpackhi_epi8(v, zero);
        float* d = dst + 4 * x;
        storePixel<Stream>(
            d, toStaged<O>(_mm_mul_ps(_mm_cvtepi32_ps(_mm_unpacklo_epi16(lo, zero)), s)));
        storePixel<Stream>(
            d + 4, toStaged<O>(_mm_mul_ps(_mm_cvtepi32_ps(_mm_unpackhi_epi16(lo, zero)), s)));
        storePixel<Stream>(
            d + 8, toStaged<O>(_mm_mul_ps(_mm_cvtepi32_ps(_mm_unpacklo_epi16(hi, zero)), s)));
        storePixel<Stream>(
            d + 12, toStaged<O>(_mm_mul_ps(_mm_cvtepi32_ps(_mm_unpackhi_epi16(hi, zero)), s)));
    }
    for (; x < width; ++x)
        toFloatPixel<uint8_t, O>(src + 4 * x, dst + 4 * x, scale);
}

template <typename O, bool Stream>
void shortsToFloatRow(const uint16_t* src, float* dst, int32_t width, float scale) {
    const __m128i zero = _mm_setzero_si128();
    const __m128 s = _mm_set1_ps(scale);
    int32_t x = 0;
    for (; x + 4 <= width; x += 4) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 4 * x));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 4 * x + 8));
        float* d = dst + 4 * x;
        storePixel<Stream>(
            d, toStaged<O>(_mm_mul_ps(_mm_cvtepi32_ps(_mm_unpacklo_epi16(a, zero)), s)));
        storePixel<Stream>(
            d + 4, toStaged<O>(_mm_mul_ps(_mm_cvtepi32_ps(_mm_unpackhi_epi16(a, zero)), s)));
        storePixel<Stream>(
            d + 8, toStaged<O>(_mm_mul_ps(_mm_cvtepi32_ps(_mm_unpacklo_epi16(b, zero)), s)));
        storePixel<Stream>(
            d + 12, toStaged<O>(_mm_mul_ps(_mm_cvtepi32_ps(_mm_unpackhi_epi16(b, zero)), s)));
    }
    for (; x < width; ++x)
        toFloatPixel<uint16_t, O>(src + 4 * x, dst + 4 * x, scale);
}

template <typename O, bool Stream>
void floatsToFloatRow(const float* src, float* dst, int32_t width) {
    int32_t x = 0;
    for (; x + 4 <= width; x += 4) {
        float* d = dst + 4 * x;
        const float* s = src + 4 * x;
        storePixel<Stream>(d, toStaged<O>(_mm_loadu_ps(s)));
        storePixel<Stream>(d + 4, toStaged<O>(_mm_loadu_ps(s + 4)));
        storePixel<Stream>(d + 8, toStaged<O>(_mm_loadu_ps(s + 8)));
        storePixel<Stream>(d + 12, toStaged<O>(_mm_loadu_ps(s + 12)));
    }
    for (; x < width; ++x)
        toFloatPixel<float, O>(src + 4 * x, dst + 4 * x, 1.0f);
}

template <typename T, typename O>
void toFloatRow(const T* src, float* dst, int32_t width, float scale) {
    const bool stream = aligned16(dst);
    if constexpr (std::is_same_v<T, uint8_t>) {
        stream ? bytesToFloatRow<O, true>(src, dst, width, scale)
               : bytesToFloatRow<O, false>(src, dst, width, scale);
    } else if constexpr (std::is_same_v<T, uint16_t>) {
        stream ? shortsToFloatRow<O, true>(src, dst, width, scale)
               : shortsToFloatRow<O, false>(src, dst, width, scale);
    } else {
        stream ? floatsToFloatRow<O, true>(src, dst, width)
               : floatsToFloatRow<O, false>(src, dst, width);
    }
}

// Host-ordered channel values of one pixel, clamped to 0 ... maximum (NaN to 0: maxps gives its
// second operand when the first is NaN) and rounded to the nearest, as the scalar code does.
template <typename O> inline __m128i toHostInts(const float* s, __m128 scale, __m128 maximum) {
    __m128 v = _mm_mul_ps(toHost<O>(_mm_loadu_ps(s)), scale);
    v = _mm_min_ps(_mm_max_ps(v, _mm_setzero_ps()), maximum);
    return _mm_cvttps_epi32(_mm_add_ps(v, _mm_set1_ps(0.5f)));
}

template <bool Stream> inline void storeInts(void* d, __m128i v) {
    if (Stream)
        _mm_stream_si128(static_cast<__m128i*>(d), v);
    else
        _mm_storeu_si128(static_cast<__m128i*>(d), v);
}

template <typename O, bool Stream>
void floatToBytesRow(const float* src, uint8_t* dst, int32_t width) {
    const __m128 scale = _mm_set1_ps(255.0f);
    int32_t x = 0;
    for (; x + 4 <= width; x += 4) {
        const float* s = src + 4 * x;
        const __m128i p01 =
            _mm_packs_epi32(toHostInts<O>(s, scale, scale), toHostInts<O>(s + 4, scale, scale));
        const __m128i p23 = _mm_packs_epi32(toHostInts<O>(s + 8, scale, scale),
                                            toHostInts<O>(s + 12, scale, scale));
        storeInts<Stream>(dst + 4 * x, _mm_packus_epi16(p01, p23));
    }
    for (; x < width; ++x)
        fromFloatPixel<uint8_t, O>(src + 4 * x, dst + 4 * x, 255.0f, 255.0f);
}

template <typename O, bool Stream>
void floatToShortsRow(const float* src, uint16_t* dst, int32_t width) {
    const __m128 scale = _mm_set1_ps(32768.0f);
    // 0 ... 32768 does not fit a signed pack: shift into -32768 ... 0, pack, shift back.
    const __m128i bias32 = _mm_set1_epi32(32768);
    const __m128i bias16 = _mm_set1_epi16(static_cast<short>(0x8000));
    int32_t x = 0;
    for (; x + 2 <= width; x += 2) {
        const float* s = src + 4 * x;
        const __m128i a = _mm_sub_epi32(toHostInts<O>(s, scale, scale), bias32);
        const __m128i b = _mm_sub_epi32(toHostInts<O>(s + 4, scale, scale), bias32);
        storeInts<Stream>(dst + 4 * x, _mm_xor_si128(_mm_packs_epi32(a, b), bias16));
    }
    for (; x < width; ++x)
        fromFloatPixel<uint16_t, O>(src + 4 * x, dst + 4 * x, 32768.0f, 32768.0f);
}

template <typename O, bool Stream>
void floatToFloatRow(const float* src, float* dst, int32_t width) {
    int32_t x = 0;
    for (; x + 4 <= width; x += 4) {
        const float* s = src + 4 * x;
        float* d = dst + 4 * x;
        storePixel<Stream>(d, toHost<O>(_mm_loadu_ps(s)));
        storePixel<Stream>(d + 4, toHost<O>(_mm_loadu_ps(s + 4)));
        storePixel<Stream>(d + 8, toHost<O>(_mm_loadu_ps(s + 8)));
        storePixel<Stream>(d + 12, toHost<O>(_mm_loadu_ps(s + 12)));
    }
    for (; x < width; ++x)
        fromFloatPixel<float, O>(src + 4 * x, dst + 4 * x, 1.0f, 0.0f);
}

// Rows of the host's world are written around the cache too, where aligned: the download's
// reads of the staging buffer are what it waits for, and a line read only to be overwritten
// doubles the traffic.
template <typename T, typename O>
void fromFloatRow(const float* src, T* dst, int32_t width, float, float) {
    const bool stream = aligned16(dst);
    if constexpr (std::is_same_v<T, uint8_t>) {
        stream ? floatToBytesRow<O, true>(src, dst, width)
               : floatToBytesRow<O, false>(src, dst, width);
    } else if constexpr (std::is_same_v<T, uint16_t>) {
        stream ? floatToShortsRow<O, true>(src, dst, width)
               : floatToShortsRow<O, false>(src, dst, width);
    } else {
        stream ? floatToFloatRow<O, true>(src, dst, width)
               : floatToFloatRow<O, false>(src, dst, width);
    }
}

// Non-temporal stores are weakly ordered: make them visible before anyone reads the buffer.
inline void finishStores() {
    _mm_sfence();
}

#else
// Portable: four pixels a step, straight-line code the compiler may vectorise.
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

inline void finishStores() {}
#endif

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
    finishStores();
}

template <typename T, typename O>
void downloadConverting(const float* src, PF_EffectWorld* w, int32_t first, int32_t rows,
                        float scale, float maximum) {
    for (int32_t y = 0; y < rows; ++y)
        fromFloatRow<T, O>(src + static_cast<size_t>(y) * w->width * 4,
                           reinterpret_cast<T*>(hostRow(w, first + y)), w->width, scale, maximum);
    finishStores();
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

bool packedUpload(Transfer transfer, uint32_t* format, uint32_t* type) {
    // A 32-bit packed type reads the four bytes as one little-endian word, its first component in
    // the highest byte: alpha, red, green, blue bytes are B, G, R, A from the top.
    switch (transfer) {
    case Transfer::Converting8: // A R G B bytes -> R G B A
        *format = kGlBgra;
        *type = kGlUnsignedInt8888;
        return true;
    case Transfer::Converting8Premiere: // B G R A bytes -> R G B A
        *format = kGlBgra;
        *type = kGlUnsignedByte;
        return true;
    case Transfer::Converting8PremiereFast: // B G R A bytes -> A R G B
        *format = kGlRgba;
        *type = kGlUnsignedInt8888;
        return true;
    default:
        return false;
    }
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
    if (!w) return;
    downloadRows(t, staging, w, 0, w->height);
}

void downloadRows(Transfer t, const void* staging, PF_EffectWorld* w, int32_t first, int32_t rows) {
    if (!w || !w->data || !staging || w->width <= 0 || first < 0 || rows <= 0) return;
    rows = std::min(rows, w->height - first);
    const float* f = static_cast<const float*>(staging);
    switch (t) {
    case Transfer::Converting8:
        downloadConverting<uint8_t, ArgbToRgba>(f, w, first, rows, 255.0f, 255.0f);
        break;
    case Transfer::Converting8Premiere:
        downloadConverting<uint8_t, BgraToRgba>(f, w, first, rows, 255.0f, 255.0f);
        break;
    case Transfer::Converting8PremiereFast:
        downloadConverting<uint8_t, BgraToArgb>(f, w, first, rows, 255.0f, 255.0f);
        break;
    case Transfer::Converting16:
        downloadConverting<uint16_t, ArgbToRgba>(f, w, first, rows, 32768.0f, 32768.0f);
        break;
    case Transfer::Raw16:
        downloadConverting<uint16_t, Keep>(f, w, first, rows, 32768.0f, 32768.0f);
        break;
    case Transfer::Converting32:
        downloadConverting<float, ArgbToRgba>(f, w, first, rows, 1.0f, 0.0f);
        break;
    case Transfer::Raw8:
    case Transfer::Raw32: {
        const size_t row = static_cast<size_t>(w->width) * stagingPixelBytes(t);
        for (int32_t y = 0; y < rows; ++y)
            std::memcpy(hostRow(w, first + y), static_cast<const char*>(staging) + y * row, row);
        break;
    }
    }
}

} // namespace glfx
