// What the parts of the image files (ImageIO, ImageLevels, ImagePng, ImageExr) share and no user of
// ImageIO.h needs.
#pragma once

#include "ImageIO.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

// The build sets it to 0 where it has no OpenEXR library (the Windows cross build).
#ifndef GLFX_WITH_OPENEXR
#define GLFX_WITH_OPENEXR 1
#endif

namespace glfx::cli {

struct ImageFile::Decoder {
    virtual ~Decoder() = default;
    virtual void read(const std::string& path, const ImageHeader& header, hostsim::Image& into,
                      int depth, hostsim::ChannelOrder order) = 0;
};

namespace detail {

// ---- Errors and files (ImageIO.cpp) ---------------------------------------------------------

[[noreturn]] void fail(const std::string& path, const std::string& problem);

void checkSize(const std::string& path, int64_t width, int64_t height);

// Opens for reading, telling the reasons a user can act on apart.
FILE* openForReading(const std::string& path);

struct FileCloser {
    FILE* file;
    ~FileCloser() {
        if (file) std::fclose(file);
    }
};

// A hidden file beside the destination, renamed over it by commit() and removed otherwise.
class PendingFile {
public:
    explicit PendingFile(const std::string& destination);

    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    ~PendingFile();

    FILE* stream() const { return file_; }

    void commit();

private:
    std::string destination_;
    std::string temporary_;
    FILE* file_ = nullptr;
    bool committed_ = false;
};

// ---- Levels (ImageLevels.cpp) ---------------------------------------------------------------

// Byte offsets of red, green, blue, alpha within a host pixel of `depth` bits a channel.
std::array<int, 4> channelOffsets(hostsim::ChannelOrder order, int depth);

// One row of RGBA samples as libpng delivers them (8 bits, or 16 bits big-endian) into a host row.
void pngRowToHost(const uint8_t* src, int srcDepth, uint8_t* dst, int depth,
                  hostsim::ChannelOrder order, int32_t width);

// One host row into a PNG row of `channels` (3: alpha dropped, or 4) samples of `pngDepth` bits.
void hostRowToPng(const uint8_t* src, int depth, hostsim::ChannelOrder order, uint8_t* dst,
                  int pngDepth, int channels, int32_t width);

// Whether every alpha becomes the top level of a PNG of `pngDepth` bits.
bool hostIsOpaque(const hostsim::Image& image, int pngDepth);

// Host samples of `depth` from straight floats, as toHost8 and toHost16 round them.
void floatsToHost(const float* rgba, uint8_t* dst, int depth, hostsim::ChannelOrder order,
                  int32_t width);
void hostToFloats(const uint8_t* src, int depth, hostsim::ChannelOrder order, float* rgba,
                  int32_t width);

void checkDepthAndOrder(const std::string& path, int depth, hostsim::ChannelOrder order);

// A destination laid out for the file's pixels, its buffer kept where it is large enough.
void prepare(const std::string& path, hostsim::Image& into, const ImageHeader& header, int depth,
             hostsim::ChannelOrder order);

// ---- The formats (ImagePng.cpp, ImageExr.cpp) -----------------------------------------------

// Each opens the file and reads its header into `header`; the pixels wait for Decoder::read.
std::unique_ptr<ImageFile::Decoder> pngDecoder(const std::string& path, ImageHeader& header);
void writePng(const std::string& path, const hostsim::Image& image, int depth,
              PngCompression compression);

#if GLFX_WITH_OPENEXR
std::unique_ptr<ImageFile::Decoder> exrDecoder(const std::string& path, ImageHeader& header);
void writeExr(const std::string& path, const hostsim::Image& image);
#endif

} // namespace detail
} // namespace glfx::cli
