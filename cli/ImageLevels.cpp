// The levels of the host's integer depths and of PNG samples, and the pixel conversions between
// a file's samples and the host's layout.
#include "ImageIOParts.h"

#include <algorithm>
#include <cstring>

namespace glfx::cli {

using hostsim::ChannelOrder;

namespace {

inline float levelToFloat(uint32_t level, uint32_t maximum) {
    return float(level) / float(maximum);
}

// Nearest level, rounding halves up as lround does. The product of a float and a level count is
// exact in double, and so is adding the half, so truncating gives the same level as
// std::lround(double(value) * maximum) without a call per value.
inline uint32_t floatToLevel(float value, uint32_t maximum) {
    if (!(value > 0.0f)) return 0; // NaN too
    if (value >= 1.0f) return maximum;
    return uint32_t(double(value) * double(maximum) + 0.5);
}

constexpr uint32_t kHost16Max = 32768;

// The integer-to-integer level maps, each computed once from the float definitions above, so a
// table lookup gives exactly what the float round trip would.
struct LevelTables {
    std::array<uint16_t, 256> png8ToHost16;
    std::array<uint8_t, 65536> png16ToHost8;
    std::array<uint16_t, 65536> png16ToHost16;
    std::array<uint8_t, kHost16Max + 1> host16ToPng8;
    std::array<uint16_t, kHost16Max + 1> host16ToPng16;
};

const LevelTables& levels() {
    static const std::unique_ptr<LevelTables> tables = [] {
        auto t = std::make_unique<LevelTables>();
        for (uint32_t k = 0; k < 256; ++k)
            t->png8ToHost16[k] = uint16_t(floatToLevel(levelToFloat(k, 255), kHost16Max));
        for (uint32_t s = 0; s < 65536; ++s) {
            t->png16ToHost8[s] = uint8_t(floatToLevel(levelToFloat(s, 65535), 255));
            t->png16ToHost16[s] = uint16_t(floatToLevel(levelToFloat(s, 65535), kHost16Max));
        }
        for (uint32_t h = 0; h <= kHost16Max; ++h) {
            t->host16ToPng8[h] = uint8_t(floatToLevel(levelToFloat(h, kHost16Max), 255));
            t->host16ToPng16[h] = uint16_t(floatToLevel(levelToFloat(h, kHost16Max), 65535));
        }
        return t;
    }();
    return *tables;
}

template <typename T> inline void put(uint8_t* at, T value) {
    std::memcpy(at, &value, sizeof value);
}
template <typename T> inline T get(const uint8_t* at) {
    T value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

// Pixel by pixel, the byte at `from` + offset K into `to` + offset k, K being the k-th of the
// template arguments (so that the moves are fixed at compile time).
template <int R, int G, int B, int A>
inline void gather8(const uint8_t* from, size_t fromStep, uint8_t* to, size_t toStep, size_t n,
                    int channels) {
    for (size_t x = 0; x < n; ++x, from += fromStep, to += toStep) {
        to[0] = from[R];
        to[1] = from[G];
        to[2] = from[B];
        if (channels == 4) to[3] = from[A];
    }
}

// Scatters RGBA bytes to the host offsets R, G, B, A.
template <int R, int G, int B, int A>
inline void shuffle8(const uint8_t* from, size_t fromStep, uint8_t* to, size_t toStep, size_t n) {
    for (size_t x = 0; x < n; ++x, from += fromStep, to += toStep) {
        to[R] = from[0];
        to[G] = from[1];
        to[B] = from[2];
        to[A] = from[3];
    }
}

} // namespace

namespace detail {

std::array<int, 4> channelOffsets(ChannelOrder order, int depth) {
    const int size = depth / 8;
    if (order == ChannelOrder::Bgra) return {2 * size, size, 0, 3 * size};
    return {size, 2 * size, 3 * size, 0};
}

void pngRowToHost(const uint8_t* src, int srcDepth, uint8_t* dst, int depth, ChannelOrder order,
                  int32_t width) {
    const std::array<int, 4> at = channelOffsets(order, depth);
    const size_t pixel = size_t(depth) / 2;
    const size_t n = size_t(width);
    if (srcDepth == 8 && depth == 8) {
        // The common case, with the offsets fixed so that the loop is plain byte moves.
        if (order == ChannelOrder::Argb)
            shuffle8<1, 2, 3, 0>(src, 4, dst, 4, n);
        else
            shuffle8<2, 1, 0, 3>(src, 4, dst, 4, n);
        return;
    }
    const LevelTables& t = levels();
    if (srcDepth == 8) {
        for (size_t x = 0; x < n; ++x, src += 4, dst += pixel)
            for (int c = 0; c < 4; ++c) {
                if (depth == 8)
                    dst[at[c]] = src[c];
                else if (depth == 16)
                    put(dst + at[c], t.png8ToHost16[src[c]]);
                else
                    put(dst + at[c], levelToFloat(src[c], 255));
            }
        return;
    }
    for (size_t x = 0; x < n; ++x, src += 8, dst += pixel)
        for (int c = 0; c < 4; ++c) {
            const uint32_t s = uint32_t(src[2 * c]) << 8 | src[2 * c + 1];
            if (depth == 8)
                dst[at[c]] = t.png16ToHost8[s];
            else if (depth == 16)
                put(dst + at[c], t.png16ToHost16[s]);
            else
                put(dst + at[c], levelToFloat(s, 65535));
        }
}

void hostRowToPng(const uint8_t* src, int depth, ChannelOrder order, uint8_t* dst, int pngDepth,
                  int channels, int32_t width) {
    const std::array<int, 4> at = channelOffsets(order, depth);
    const size_t pixel = size_t(depth) / 2;
    const size_t n = size_t(width);
    if (depth == 8 && pngDepth == 8) {
        if (order == ChannelOrder::Argb)
            gather8<1, 2, 3, 0>(src, 4, dst, size_t(channels), n, channels);
        else
            gather8<2, 1, 0, 3>(src, 4, dst, size_t(channels), n, channels);
        return;
    }
    const LevelTables& t = levels();
    for (size_t x = 0; x < n; ++x, src += pixel)
        for (int c = 0; c < channels; ++c) {
            uint32_t level;
            if (depth == 8)
                level = pngDepth == 8 ? src[at[c]] : uint32_t(src[at[c]]) * 257;
            else if (depth == 16) {
                const uint32_t h = std::min<uint32_t>(get<uint16_t>(src + at[c]), kHost16Max);
                level = pngDepth == 8 ? t.host16ToPng8[h] : t.host16ToPng16[h];
            } else
                level = floatToLevel(get<float>(src + at[c]), pngDepth == 8 ? 255 : 65535);
            if (pngDepth == 16) *dst++ = uint8_t(level >> 8);
            *dst++ = uint8_t(level);
        }
}

bool hostIsOpaque(const hostsim::Image& image, int pngDepth) {
    const int alpha = channelOffsets(image.order, image.depth)[3];
    const size_t pixel = size_t(image.pixelBytes());
    const LevelTables* t = image.depth == 16 ? &levels() : nullptr;
    const uint32_t top = pngDepth == 8 ? 255 : 65535;
    for (int32_t y = 0; y < image.height; ++y) {
        const uint8_t* p = image.row(y) + alpha;
        for (int32_t x = 0; x < image.width; ++x, p += pixel) {
            bool full;
            if (image.depth == 8)
                full = *p == 255;
            else if (image.depth == 16) {
                const uint32_t h = std::min<uint32_t>(get<uint16_t>(p), kHost16Max);
                full = (pngDepth == 8 ? t->host16ToPng8[h] : t->host16ToPng16[h]) == top;
            } else
                full = floatToLevel(get<float>(p), top) == top;
            if (!full) return false;
        }
    }
    return true;
}

void floatsToHost(const float* rgba, uint8_t* dst, int depth, ChannelOrder order, int32_t width) {
    const std::array<int, 4> at = channelOffsets(order, depth);
    const size_t pixel = size_t(depth) / 2;
    for (int32_t x = 0; x < width; ++x, rgba += 4, dst += pixel)
        for (int c = 0; c < 4; ++c) {
            if (depth == 8)
                dst[at[c]] = uint8_t(floatToLevel(rgba[c], 255));
            else if (depth == 16)
                put(dst + at[c], uint16_t(floatToLevel(rgba[c], kHost16Max)));
            else
                put(dst + at[c], rgba[c]);
        }
}

void hostToFloats(const uint8_t* src, int depth, ChannelOrder order, float* rgba, int32_t width) {
    const std::array<int, 4> at = channelOffsets(order, depth);
    const size_t pixel = size_t(depth) / 2;
    for (int32_t x = 0; x < width; ++x, src += pixel, rgba += 4)
        for (int c = 0; c < 4; ++c) {
            if (depth == 8)
                rgba[c] = levelToFloat(src[at[c]], 255);
            else if (depth == 16)
                rgba[c] = levelToFloat(std::min<uint32_t>(get<uint16_t>(src + at[c]), kHost16Max),
                                       kHost16Max);
            else
                rgba[c] = get<float>(src + at[c]);
        }
}

void checkDepthAndOrder(const std::string& path, int depth, ChannelOrder order) {
    if (depth != 8 && depth != 16 && depth != 32)
        fail(path, "host depth " + std::to_string(depth) + " does not exist (8, 16 or 32)");
    if (order == ChannelOrder::Bgra && depth != 8)
        fail(path, "blue, green, red, alpha images are 8-bit only");
}

void prepare(const std::string& path, hostsim::Image& into, const ImageHeader& header, int depth,
             ChannelOrder order) {
    checkDepthAndOrder(path, depth, order);
    into.resize(header.width, header.height, depth, order);
}

} // namespace detail

uint8_t toHost8(float value) {
    return uint8_t(floatToLevel(value, 255));
}

uint16_t toHost16(float value) {
    return uint16_t(floatToLevel(value, kHost16Max));
}

float fromHost8(uint8_t level) {
    return levelToFloat(level, 255);
}

float fromHost16(uint16_t level) {
    return levelToFloat(std::min<uint32_t>(level, kHost16Max), kHost16Max);
}

uint16_t png16ToHost16(uint16_t sample) {
    return levels().png16ToHost16[sample];
}

uint16_t host16ToPng16(uint16_t level) {
    return levels().host16ToPng16[std::min<uint32_t>(level, kHost16Max)];
}

Image toDepth(const Image& image, int depth) {
    if (depth != 8 && depth != 16 && depth != 32)
        throw ImageError("host depth " + std::to_string(depth) + " does not exist (8, 16 or 32)");
    Image out = image;
    out.depth = depth;
    if (depth == 8)
        for (float& v : out.rgba)
            v = fromHost8(toHost8(v));
    else if (depth == 16)
        for (float& v : out.rgba)
            v = fromHost16(toHost16(v));
    return out;
}

} // namespace glfx::cli
