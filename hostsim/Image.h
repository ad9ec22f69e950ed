// Images as the emulated host holds them: the bytes of one world, rows `rowbytes` apart, in the
// host's own pixel layout, and clips that give a layer's image at a time.
//
// Layouts: depth 8 is four bytes per pixel, alpha, red, green, blue (After Effects) or blue,
// green, red, alpha (Premiere Pro); depth 16 is four 16-bit channels 0...32768 and depth 32 four
// floats, both alpha, red, green, blue. Rows may be padded: bytes between `width` pixels and
// `rowbytes` belong to no pixel.
#pragma once

#include "AE_Effect.h"
#include "AE_EffectPixelFormat.h"

#include <cstdint>
#include <map>
#include <vector>

namespace glfx::hostsim {

enum class ChannelOrder { Argb, Bgra };

struct Image {
    int32_t width = 0;
    int32_t height = 0;
    int depth = 8; // bits per channel: 8, 16 or 32
    ChannelOrder order = ChannelOrder::Argb;
    int32_t rowbytes = 0;
    std::vector<uint8_t> bytes; // height * rowbytes

    // An image whose pixel bytes are all `fill` and whose padding bytes (rowPadding after each
    // row, a whole number of bytes) are all `padFill`. Throws std::invalid_argument for a depth
    // other than 8, 16, 32, a Premiere Pro order at another depth, or a negative size.
    static Image make(int32_t width, int32_t height, int depth,
                      ChannelOrder order = ChannelOrder::Argb, int32_t rowPadding = 0,
                      uint8_t fill = 0, uint8_t padFill = 0);
    // The same in place, keeping the buffer when it is large enough (a host reusing its frame).
    void reset(int32_t width, int32_t height, int depth, ChannelOrder order, int32_t rowPadding,
               uint8_t fill, uint8_t padFill);

    // The same layout with rows packed, without filling: the buffer is kept where it is large
    // enough and its bytes are left for the caller to overwrite (a decoder writing every pixel).
    void resize(int32_t width, int32_t height, int depth, ChannelOrder order = ChannelOrder::Argb);

    // From straight red, green, blue, alpha floats (rows packed, top first): 8 bits is the nearest
    // of 0...255 and 16 bits of 0...32768 to the value clamped to 0...1 (NaN gives 0); 32 bits
    // keeps the value.
    static Image fromRgba(const float* rgba, int32_t width, int32_t height, int depth,
                          ChannelOrder order = ChannelOrder::Argb, int32_t rowPadding = 0);
    // Red, green, blue, alpha floats, rows packed: level / 255, level / 32768, or the float.
    std::vector<float> toRgba() const;
    // The same picture in another layout (through toRgba, so 8 -> 16 -> 8 is exact).
    Image converted(int depth, ChannelOrder order, int32_t rowPadding = 0) const;

    int pixelBytes() const { return depth / 2; }
    bool empty() const { return width <= 0 || height <= 0; }
    uint8_t* row(int32_t y) { return bytes.data() + size_t(y) * size_t(rowbytes); }
    const uint8_t* row(int32_t y) const { return bytes.data() + size_t(y) * size_t(rowbytes); }
    // Channel c (0 red, 1 green, 2 blue, 3 alpha) of pixel (x, y) on the 0...1 scale.
    float channel(int32_t x, int32_t y, int c) const;
    // Memory position (0 ... 3) of channel c within a pixel.
    int position(int c) const;
    // Whether every padding byte equals `padFill`.
    bool paddingIs(uint8_t padFill) const;

    // The After Effects pixel format of this layout; Premiere Pro's 8-bit BGRA reports
    // PF_PixelFormat_ARGB32 as well, since effects know only the three ARGB formats.
    PF_PixelFormat pixelFormat() const;
};

// A layer over time: each image is shown from its time until the next one's. Before the first
// time the first image shows. An empty clip is a layer parameter set to none.
class Clip {
public:
    Clip() = default;
    // One image at every time.
    Clip(Image still); // NOLINT: a still converts naturally
    void add(A_long time, Image image);
    const Image* at(A_long time) const;
    // A hash of the image at `time` (its size, layout and bytes), 0 without one; computed once
    // per frame until the clip changes.
    uint64_t hashAt(A_long time) const;
    bool empty() const { return frames_.empty(); }
    // Empties the clip, moving its images into `spare` so that their buffers can be used again.
    void clear(std::vector<Image>& spare);

private:
    std::map<A_long, Image> frames_;
    mutable std::map<const Image*, uint64_t> hashes_;
};

} // namespace glfx::hostsim
