// Image files for the command line: PNG (8 and 16 bits) and OpenEXR (half or float in, float out).
// OpenEXR is a build option (GLFX_WITH_OPENEXR, off in the Windows build); without it every .exr
// path fails with "PATH: EXR files are not supported by this build of glfx; use .png".
//
// Rendering reads and writes the host's own pixel layout (hostsim::Image) directly: a file is
// opened and its header checked before any pixel is allocated, rows are converted one at a time
// through tables, and a destination image's buffer is reused from frame to frame. The float
// Image below is the same files as plain straight RGBA, for tools and tests.
//
// Error policy: every failure throws ImageError, whose what() is one line naming the file and the
// problem. Nothing else is thrown except std::bad_alloc. A write never leaves a partial file
// behind: it goes to a hidden temporary name in the destination's folder and is renamed into place.
//
// Values are kept exactly as the file stores them: no gamma, colour-space or premultiplication
// change is made in either direction (an EXR's channels, premultiplied by that format's convention,
// pass through untouched).
//
// Threads: different files may be read and written on different threads at the same time.
#pragma once

#include "hostsim/Image.h"

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace glfx::cli {

class ImageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Straight RGBA, four floats per pixel, rows top to bottom, 0...1 nominal.
//
// Floats hold every integer sample exactly enough to come back unchanged: an 8-bit sample k is
// stored as k / 255 and a 16-bit PNG sample as k / 65535, and writing rounds to the nearest level,
// so a PNG read and written back at its own depth is sample-identical; EXR floats are stored as
// they are (half samples widen exactly).
struct Image {
    int32_t width = 0;
    int32_t height = 0;
    int depth = 8; // of the source: 8 or 16 (PNG), 32 (EXR, half or float)
    std::vector<float> rgba;

    float* pixel(int32_t x, int32_t y) {
        return &rgba[(size_t(y) * size_t(width) + size_t(x)) * 4];
    }
    const float* pixel(int32_t x, int32_t y) const {
        return &rgba[(size_t(y) * size_t(width) + size_t(x)) * 4];
    }
};

// An image of the given size, every pixel transparent black.
Image makeImage(int32_t width, int32_t height, int depth);

// After Effects' largest layer; bigger files are refused before anything is allocated.
constexpr int32_t kMaxImageSide = 30000;

enum class ImageFormat { Png, Exr };

// By extension, case-insensitive: ".png" or ".exr". Throws ImageError for anything else, and for
// ".exr" in a build without OpenEXR.
ImageFormat imageFormatOf(const std::string& path);

// Grey, grey + alpha, RGB and palette PNGs become RGBA with alpha 1 where the file has none
// (a tRNS chunk becomes alpha). PNG samples below 8 bits widen to 8. EXR: the data window's
// pixels; R, G, B, A channels of any pixel type, or Y for grey; a missing A reads as 1.
Image readImage(const std::string& path);

// ---- The host's layout ------------------------------------------------------------------------

// What a file's header says.
struct ImageHeader {
    ImageFormat format = ImageFormat::Png;
    int32_t width = 0;
    int32_t height = 0;
    int depth = 8; // PNG 8 or 16 (samples below 8 bits widen to 8), EXR 32
};

// An image file opened for reading with its header read and its size checked (1 ... kMaxImageSide
// a side); the pixels are decoded by read(), once.
class ImageFile {
public:
    explicit ImageFile(const std::string& path);
    ~ImageFile();
    ImageFile(const ImageFile&) = delete;
    ImageFile& operator=(const ImageFile&) = delete;

    const std::string& path() const { return path_; }
    const ImageHeader& header() const { return header_; }

    // The pixels as the host imports them at `depth` (8, 16, 32) in `order` (Premiere Pro's BGRA
    // at 8 only), rows packed: each sample snapped to the depth's levels as toHost8, toHost16 do
    // (32 keeps the float), through exact tables for PNG samples. `into`'s buffer is reused when
    // it is large enough. Layouts as readImage above. Throws ImageError for a second call.
    void read(hostsim::Image& into, int depth,
              hostsim::ChannelOrder order = hostsim::ChannelOrder::Argb);

    struct Decoder;

private:
    std::string path_;
    ImageHeader header_;
    std::unique_ptr<Decoder> decoder_;
};

// How hard PNG writing works at making the file small.
enum class PngCompression {
    Fast,   // one cheap filter, zlib's fastest level: files up to half larger, 5 to 15 times faster
    Medium, // libpng's defaults (every filter tried per row, zlib level 6)
    Small,  // every filter, zlib level 9: the smallest files, slowest by far
};

struct WriteOptions {
    int depth = 0; // 0: the image's own where the format has it (PNG 8 or 16, EXR 32)
    PngCompression png = PngCompression::Fast;
};

// The host's pixels into a file: PNG from 8-bit levels as they are and from the other depths
// through the same nearest levels writeImage uses below; opaque images (every alpha at the top
// level of the file's depth) are written without alpha. EXR as 32-bit float. Throws as
// writeImage below (the image's buffer must hold its size).
void writeImage(const std::string& path, const hostsim::Image& image,
                const WriteOptions& options = {});

// depth 0 keeps the image's own depth where the format has it: PNG writes 8 or 16 (a 32-bit
// image becomes 16), EXR always 32-bit float. A PNG sample is the nearest level to the value
// clamped to 0...1 (NaN gives 0). Throws for a depth the format does not have (PNG 8 or 16,
// EXR 32), an image whose buffer does not match its size, and any write failure.
void writeImage(const std::string& path, const Image& image, int depth = 0);

// The host's integer scales: 8-bit 0...255, 16-bit 0...32768 (After Effects' 16-bit range, one
// level more than half of PNG's 0...65535). Values are clamped to 0...1 and rounded to the nearest
// level; NaN gives 0. Round trips host level -> float -> host level are exact at both depths, and
// so is host 16 -> PNG 16 -> host 16; PNG 16 -> host 16 merges neighbouring pairs of levels.
uint8_t toHost8(float value);
uint16_t toHost16(float value);
float fromHost8(uint8_t level);
float fromHost16(uint16_t level);

// A 16-bit PNG sample to the nearest host 16-bit level and back, through the same floats
// readImage and writeImage use.
uint16_t png16ToHost16(uint16_t sample);
uint16_t host16ToPng16(uint16_t level);

// What the host would hold after importing the image at this depth: every channel snapped to the
// depth's level grid (8: k / 255, 16: k / 32768; 32 leaves values as they are), depth set.
// Throws ImageError for any other depth.
Image toDepth(const Image& image, int depth);

// Image sequences: the file name part of the pattern (after the last '/') holds one run of '#'
// that stands for the frame number, zero-padded to the run's length as printf's "%0*lld" does
// (longer numbers are written whole; a negative number's sign counts towards the width).
bool isFramePattern(const std::string& pattern);
// Throws ImageError when the file name has no '#' or more than one run of them.
std::string framePath(const std::string& pattern, int64_t frame);

} // namespace glfx::cli
