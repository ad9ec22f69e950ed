#include "ImageIO.h"

#include "FileSystem.h"

// The build sets it to 0 where it has no OpenEXR library (the Windows cross build).
#ifndef GLFX_WITH_OPENEXR
#define GLFX_WITH_OPENEXR 1
#endif

#if GLFX_WITH_OPENEXR
#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfIO.h>
#include <ImfInputFile.h>
#include <ImfOutputFile.h>
#include <ImfTestFile.h>
#endif
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace glfx::cli {

using hostsim::ChannelOrder;

namespace {

// Paths go into one-line messages; a control character would break the line.
std::string printable(const std::string& text) {
    std::string out = text;
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    return out;
}

[[noreturn]] void fail(const std::string& path, const std::string& problem) {
    throw ImageError(printable(path) + ": " + printable(problem));
}

std::string lowerExtension(const std::string& path) {
    const size_t slash = lastSeparator(path);
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string ext = path.substr(dot);
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return ext;
}

void checkSize(const std::string& path, int64_t width, int64_t height) {
    if (width < 1 || height < 1)
        fail(path,
             "image size " + std::to_string(width) + " x " + std::to_string(height) + " is empty");
    if (width > kMaxImageSide || height > kMaxImageSide)
        fail(path, "image size " + std::to_string(width) + " x " + std::to_string(height) +
                       " is larger than the host's largest layer (" +
                       std::to_string(kMaxImageSide) + " pixels a side)");
}

// Opens for reading, telling the reasons a user can act on apart.
FILE* openForReading(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) fail(path, "no such file");
        fail(path, std::string("cannot read: ") + std::strerror(errno));
    }
    if (S_ISDIR(st.st_mode)) fail(path, "is a folder, not an image file");
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) fail(path, std::string("cannot read: ") + std::strerror(errno));
    return file;
}

struct FileCloser {
    FILE* file;
    ~FileCloser() {
        if (file) std::fclose(file);
    }
};

// ---- Levels ------------------------------------------------------------------------------------

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

// Byte offsets of red, green, blue, alpha within a host pixel of `depth` bits a channel.
std::array<int, 4> channelOffsets(ChannelOrder order, int depth) {
    const int size = depth / 8;
    if (order == ChannelOrder::Bgra) return {2 * size, size, 0, 3 * size};
    return {size, 2 * size, 3 * size, 0};
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

// One row of RGBA samples as libpng delivers them (8 bits, or 16 bits big-endian) into a host row.
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

// One host row into a PNG row of `channels` (3: alpha dropped, or 4) samples of `pngDepth` bits.
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

// Whether every alpha becomes the top level of a PNG of `pngDepth` bits.
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

// Host samples of `depth` from straight floats, as toHost8 and toHost16 round them.
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

// A destination laid out for the file's pixels, its buffer kept where it is large enough.
void prepare(const std::string& path, hostsim::Image& into, const ImageHeader& header, int depth,
             ChannelOrder order) {
    checkDepthAndOrder(path, depth, order);
    into.resize(header.width, header.height, depth, order);
}

// ---- PNG ------------------------------------------------------------------------------------
//
// libpng reports errors by longjmp. The functions holding a setjmp own nothing with a destructor
// and change no local they read after the jump: every buffer lives in the caller, so a jump never
// skips a destructor or leaves one to run on a stale value.

struct PngMessage {
    char text[160] = {};
};

void onPngError(png_structp png, png_const_charp message) {
    auto* out = static_cast<PngMessage*>(png_get_error_ptr(png));
    if (out) std::snprintf(out->text, sizeof out->text, "%s", message ? message : "");
    png_longjmp(png, 1);
}

void onPngWarning(png_structp, png_const_charp) {}

std::string pngProblem(const PngMessage& message) {
    return std::string("corrupt or truncated PNG file (") +
           (message.text[0] ? message.text : "unknown libpng error") + ")";
}

// Reads go through a larger stdio buffer than the default: libpng asks for a chunk at a time.
constexpr size_t kStreamBuffer = size_t(1) << 16;

struct PngLayout {
    uint32_t width = 0;
    uint32_t height = 0;
    int depth = 8; // after the transforms: 8 or 16
    bool interlaced = false;
    size_t rowBytes = 0;
    int channels = 0;
};

bool readPngHeader(png_structp png, png_infop info, FILE* file, PngLayout& layout) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_init_io(png, file);
    png_set_sig_bytes(png, 8);
    // Each chunk's CRC already covers the compressed data; zlib's own checksum of the inflated
    // bytes would be a second pass over them.
#ifdef PNG_IGNORE_ADLER32
    png_set_option(png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
#endif
    png_read_info(png, info);
    png_uint_32 width = 0, height = 0;
    int bitDepth = 0, colorType = 0, interlace = 0;
    png_get_IHDR(png, info, &width, &height, &bitDepth, &colorType, &interlace, nullptr, nullptr);
    const bool hasTransparency = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    png_set_expand(png); // palette to RGB, grey below 8 bits to 8, tRNS to alpha
    if (!(colorType & PNG_COLOR_MASK_COLOR)) png_set_gray_to_rgb(png);
    if (!(colorType & PNG_COLOR_MASK_ALPHA) && !hasTransparency)
        png_set_add_alpha(png, bitDepth == 16 ? 0xffff : 0xff, PNG_FILLER_AFTER);
    layout.interlaced = png_set_interlace_handling(png) > 1;
    png_read_update_info(png, info);
    layout.width = width;
    layout.height = height;
    layout.depth = png_get_bit_depth(png, info);
    layout.channels = png_get_channels(png, info);
    layout.rowBytes = png_get_rowbytes(png, info);
    return true;
}

// Non-interlaced files are converted row by row into the destination, so a truncated file fails
// having touched only the rows it had; interlaced ones need every decoded row at once.
bool readPngPixels(png_structp png, const PngLayout& layout, std::vector<png_byte>& rows,
                   std::vector<png_bytep>& rowPointers, hostsim::Image& into) {
    if (setjmp(png_jmpbuf(png))) return false;
    const int32_t width = int32_t(layout.width);
    if (layout.interlaced) {
        rows.resize(layout.rowBytes * layout.height);
        rowPointers.resize(layout.height);
        for (uint32_t y = 0; y < layout.height; ++y)
            rowPointers[y] = rows.data() + size_t(y) * layout.rowBytes;
        png_read_image(png, rowPointers.data());
        for (uint32_t y = 0; y < layout.height; ++y)
            pngRowToHost(rowPointers[y], layout.depth, into.row(int32_t(y)), into.depth, into.order,
                         width);
    } else {
        rows.resize(layout.rowBytes);
        for (uint32_t y = 0; y < layout.height; ++y) {
            png_read_row(png, rows.data(), nullptr);
            pngRowToHost(rows.data(), layout.depth, into.row(int32_t(y)), into.depth, into.order,
                         width);
        }
    }
    png_read_end(png, nullptr); // the trailing chunks' checksums and the end marker
    return true;
}

struct PngReadStructs {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~PngReadStructs() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
};

struct PngWriteStructs {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~PngWriteStructs() { png_destroy_write_struct(&png, info ? &info : nullptr); }
};

// Fast: the "up" filter alone is the best single filter on rendered pictures here, and zlib's
// level 1 with it makes files a quarter to a half larger than level 6 with every filter tried
// per row, in a fifth to a fifteenth of the time (docs/benchmarks.md has the figures).
void setPngCompression(png_structp png, PngCompression compression) {
    switch (compression) {
    case PngCompression::Fast:
        png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
        png_set_compression_level(png, 1);
        break;
    case PngCompression::Medium:
        break;
    case PngCompression::Small:
        png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_ALL_FILTERS);
        png_set_compression_level(png, Z_BEST_COMPRESSION);
        break;
    }
    png_set_compression_buffer_size(png, kStreamBuffer);
}

bool writePngPixels(png_structp png, png_infop info, FILE* file, const hostsim::Image& image,
                    int depth, bool withAlpha, PngCompression compression,
                    std::vector<png_byte>& row) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_init_io(png, file);
    setPngCompression(png, compression);
    png_set_IHDR(png, info, png_uint_32(image.width), png_uint_32(image.height), depth,
                 withAlpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    const int channels = withAlpha ? 4 : 3;
    row.resize(size_t(image.width) * size_t(channels) * size_t(depth / 8));
    for (int32_t y = 0; y < image.height; ++y) {
        hostRowToPng(image.row(y), image.depth, image.order, row.data(), depth, channels,
                     image.width);
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    return true;
}

// ---- Writing through a temporary file -------------------------------------------------------

// A hidden file beside the destination, renamed over it by commit() and removed otherwise.
class PendingFile {
public:
    explicit PendingFile(const std::string& destination) : destination_(destination) {
        const std::string name = fileNameOf(destination);
        if (name.empty() || name == "." || name == "..")
            fail(destination, "is not a file name to write to");
        const std::string folder = folderOf(destination);
        struct stat st {};
        if (::stat(folder.c_str(), &st) != 0) {
            if (errno == ENOENT || errno == ENOTDIR)
                fail(destination, "output folder " + folder + " does not exist");
            fail(destination, "cannot reach output folder " + folder + ": " + std::strerror(errno));
        }
        if (!S_ISDIR(st.st_mode)) fail(destination, "output folder " + folder + " is not a folder");

        const std::string prefix = destination.substr(0, destination.size() - name.size());
        std::string why;
        file_ = createUniqueFile(prefix + "." + name + ".", ".partial", temporary_, why);
        if (file_ == nullptr) fail(destination, "cannot write in folder " + folder + ": " + why);
        trackLeftover(temporary_);
    }

    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    ~PendingFile() {
        if (file_) std::fclose(file_);
        if (!committed_) std::remove(temporary_.c_str());
        untrackLeftover(temporary_);
    }

    FILE* stream() const { return file_; }

    void commit() {
        const bool flushed = std::fflush(file_) == 0 && !std::ferror(file_);
        const int flushError = errno;
        const bool closed = std::fclose(file_) == 0;
        file_ = nullptr;
        if (!flushed || !closed)
            fail(destination_,
                 std::string("cannot write: ") + std::strerror(flushed ? errno : flushError));
        std::string why;
        if (!replaceFile(temporary_, destination_, why))
            fail(destination_, "cannot replace the file: " + why);
        committed_ = true;
    }

private:
    std::string destination_;
    std::string temporary_;
    FILE* file_ = nullptr;
    bool committed_ = false;
};

void writePng(const std::string& path, const hostsim::Image& image, int depth,
              PngCompression compression) {
    const bool opaque = hostIsOpaque(image, depth);
    PendingFile pending(path);
    std::setvbuf(pending.stream(), nullptr, _IOFBF, kStreamBuffer);
    PngWriteStructs s;
    PngMessage message;
    s.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &message, onPngError, onPngWarning);
    if (s.png) s.info = png_create_info_struct(s.png);
    if (!s.png || !s.info) fail(path, "out of memory while opening the PNG writer");
    std::vector<png_byte> row;
    if (!writePngPixels(s.png, s.info, pending.stream(), image, depth, !opaque, compression, row))
        fail(path, std::string("cannot write PNG (") + message.text + ")");
    pending.commit();
}

const char* const kNoExr = "EXR files are not supported by this build of glfx; use .png";

} // namespace

struct ImageFile::Decoder {
    virtual ~Decoder() = default;
    virtual void read(const std::string& path, const ImageHeader& header, hostsim::Image& into,
                      int depth, ChannelOrder order) = 0;
};

namespace {

class PngDecoder : public ImageFile::Decoder {
public:
    PngDecoder(const std::string& path, ImageHeader& header) : file_{openForReading(path)} {
        std::setvbuf(file_.file, nullptr, _IOFBF, kStreamBuffer);
        png_byte signature[8] = {};
        const size_t got = std::fread(signature, 1, sizeof signature, file_.file);
        if (got == 0 && std::ferror(file_.file))
            fail(path, std::string("cannot read: ") + std::strerror(errno));
        if (got < sizeof signature || png_sig_cmp(signature, 0, sizeof signature) != 0)
            fail(path, "not a PNG file");

        s_.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &message_, onPngError, onPngWarning);
        if (s_.png) s_.info = png_create_info_struct(s_.png);
        if (!s_.png || !s_.info) fail(path, "out of memory while opening the PNG reader");
        if (!readPngHeader(s_.png, s_.info, file_.file, layout_)) fail(path, pngProblem(message_));
        checkSize(path, layout_.width, layout_.height);
        if (layout_.channels != 4 || (layout_.depth != 8 && layout_.depth != 16) ||
            layout_.rowBytes != size_t(layout_.width) * 4 * size_t(layout_.depth / 8))
            fail(path, "unsupported PNG layout (" + std::to_string(layout_.channels) +
                           " channels of " + std::to_string(layout_.depth) +
                           " bits after expansion)");
        header.width = int32_t(layout_.width);
        header.height = int32_t(layout_.height);
        header.depth = layout_.depth;
    }

    void read(const std::string& path, const ImageHeader& header, hostsim::Image& into, int depth,
              ChannelOrder order) override {
        prepare(path, into, header, depth, order);
        std::vector<png_byte> rows;
        std::vector<png_bytep> rowPointers;
        if (!readPngPixels(s_.png, layout_, rows, rowPointers, into))
            fail(path, pngProblem(message_));
    }

private:
    FileCloser file_;
    PngMessage message_;
    PngReadStructs s_;
    PngLayout layout_;
};

// ---- OpenEXR --------------------------------------------------------------------------------

#if GLFX_WITH_OPENEXR

// Rows converted at a time where the host's depth is not float.
constexpr int32_t kExrStripRows = 32;

// OpenEXR's own file stream swallows errors when it writes the line offsets at the end; this one
// writes to our temporary file, whose error state commit() checks.
class ExrFileStream : public Imf::OStream {
public:
    ExrFileStream(FILE* file, const std::string& name) : Imf::OStream(name.c_str()), file_(file) {}

    void write(const char c[], int n) override {
        if (n > 0 && std::fwrite(c, 1, size_t(n), file_) != size_t(n))
            throw std::runtime_error(std::string("write failed: ") + std::strerror(errno));
    }
    uint64_t tellp() override {
        const off_t at = ::ftello(file_);
        if (at < 0) throw std::runtime_error("cannot tell the write position");
        return uint64_t(at);
    }
    void seekp(uint64_t pos) override {
        if (::fseeko(file_, off_t(pos), SEEK_SET) != 0)
            throw std::runtime_error("cannot seek in the output file");
    }

private:
    FILE* file_;
};

// One line out of a library message.
std::string oneLine(const char* text) {
    std::string out = text ? text : "";
    std::replace(out.begin(), out.end(), '\n', ' ');
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

class ExrDecoder : public ImageFile::Decoder {
public:
    ExrDecoder(const std::string& path, ImageHeader& header) {
        { FileCloser probe{openForReading(path)}; }
        bool tiled = false, deep = false, multiPart = false;
        if (!Imf::isOpenExrFile(path.c_str(), tiled, deep, multiPart))
            fail(path, "not an OpenEXR file");
        if (deep) fail(path, "deep OpenEXR images are not supported");
        guard(path, [&] {
            file_ = std::make_unique<Imf::InputFile>(path.c_str());
            window_ = file_->header().dataWindow();
            const int64_t width = int64_t(window_.max.x) - window_.min.x + 1;
            const int64_t height = int64_t(window_.max.y) - window_.min.y + 1;
            checkSize(path, width, height);
            const Imf::ChannelList& channels = file_->header().channels();
            grey_ = !channels.findChannel("R") && !channels.findChannel("G") &&
                    !channels.findChannel("B") && channels.findChannel("Y");
            if (!grey_ && !channels.findChannel("R") && !channels.findChannel("G") &&
                !channels.findChannel("B"))
                fail(path, "OpenEXR image has no R, G, B or Y channel");
            for (const char* name : {"R", "G", "B", "A", "Y"}) {
                const Imf::Channel* c = channels.findChannel(name);
                if (c && (c->xSampling != 1 || c->ySampling != 1))
                    fail(path,
                         std::string("subsampled OpenEXR channel ") + name + " is not supported");
            }
            header.width = int32_t(width);
            header.height = int32_t(height);
            header.depth = 32;
        });
    }

    void read(const std::string& path, const ImageHeader& header, hostsim::Image& into, int depth,
              ChannelOrder order) override {
        prepare(path, into, header, depth, order);
        guard(path, [&] {
            if (depth == 32) {
                // Straight into the host's rows: OpenEXR writes each channel at its own offset.
                const std::array<int, 4> at = channelOffsets(order, 32);
                read(into.bytes.data(), at, size_t(into.rowbytes), window_);
                if (grey_) spreadGrey(into.bytes.data(), at, size_t(into.rowbytes), header);
                return;
            }
            const std::array<int, 4> at = {0, 4, 8, 12};
            const size_t rowBytes = size_t(header.width) * 16;
            std::vector<float> strip(size_t(header.width) * 4 * size_t(kExrStripRows));
            for (int32_t y = 0; y < header.height; y += kExrStripRows) {
                const int32_t rows = std::min(kExrStripRows, header.height - y);
                const Imath::Box2i box({window_.min.x, window_.min.y + y},
                                       {window_.max.x, window_.min.y + y + rows - 1});
                auto* bytes = reinterpret_cast<uint8_t*>(strip.data());
                read(bytes, at, rowBytes, box);
                for (int32_t r = 0; r < rows; ++r) {
                    float* rgba = strip.data() + size_t(r) * size_t(header.width) * 4;
                    if (grey_)
                        for (int32_t x = 0; x < header.width; ++x)
                            rgba[4 * x + 1] = rgba[4 * x + 2] = rgba[4 * x];
                    floatsToHost(rgba, into.row(y + r), depth, order, header.width);
                }
            }
        });
    }

private:
    // The rows of `box` into `base` (its first pixel), each channel at its offset.
    void read(uint8_t* base, const std::array<int, 4>& at, size_t rowBytes,
              const Imath::Box2i& box) {
        Imf::FrameBuffer frame;
        const size_t pixel = 4 * sizeof(float);
        auto slice = [&](int c, double fill) {
            return Imf::Slice::Make(Imf::FLOAT, base + at[size_t(c)], box, pixel, rowBytes, 1, 1,
                                    fill);
        };
        if (grey_) {
            frame.insert("Y", slice(0, 0.0));
        } else {
            frame.insert("R", slice(0, 0.0));
            frame.insert("G", slice(1, 0.0));
            frame.insert("B", slice(2, 0.0));
        }
        frame.insert("A", slice(3, 1.0));
        file_->setFrameBuffer(frame);
        file_->readPixels(box.min.y, box.max.y);
    }

    static void spreadGrey(uint8_t* base, const std::array<int, 4>& at, size_t rowBytes,
                           const ImageHeader& header) {
        for (int32_t y = 0; y < header.height; ++y) {
            uint8_t* p = base + size_t(y) * rowBytes;
            for (int32_t x = 0; x < header.width; ++x, p += 16) {
                std::memcpy(p + at[1], p + at[0], 4);
                std::memcpy(p + at[2], p + at[0], 4);
            }
        }
    }

    // The library's exceptions become one-line ImageErrors.
    template <typename F> static void guard(const std::string& path, F&& body) {
        try {
            body();
        } catch (const ImageError&) {
            throw;
        } catch (const std::bad_alloc&) {
            throw;
        } catch (const std::exception& e) {
            fail(path, "corrupt or truncated OpenEXR file (" + oneLine(e.what()) + ")");
        }
    }

    std::unique_ptr<Imf::InputFile> file_;
    Imath::Box2i window_;
    bool grey_ = false;
};

void writeExr(const std::string& path, const hostsim::Image& image) {
    PendingFile pending(path);
    try {
        Imf::Header header(image.width, image.height);
        const char* names[4] = {"R", "G", "B", "A"};
        for (const char* name : names)
            header.channels().insert(name, Imf::Channel(Imf::FLOAT));
        ExrFileStream stream(pending.stream(), path);
        Imf::OutputFile out(stream, header);
        // OpenEXR only reads through these pointers while writing.
        auto write = [&](const uint8_t* base, const std::array<int, 4>& at, size_t rowBytes,
                         int32_t first, int32_t rows) {
            Imf::FrameBuffer frame;
            const Imath::Box2i box({0, first}, {image.width - 1, first + rows - 1});
            for (int c = 0; c < 4; ++c)
                frame.insert(names[c], Imf::Slice::Make(Imf::FLOAT, base + at[size_t(c)], box,
                                                        4 * sizeof(float), rowBytes));
            out.setFrameBuffer(frame);
            out.writePixels(rows);
        };
        if (image.depth == 32) {
            write(image.bytes.data(), channelOffsets(image.order, 32), size_t(image.rowbytes), 0,
                  image.height);
        } else {
            std::vector<float> strip(size_t(image.width) * 4 * size_t(kExrStripRows));
            for (int32_t y = 0; y < image.height; y += kExrStripRows) {
                const int32_t rows = std::min(kExrStripRows, image.height - y);
                for (int32_t r = 0; r < rows; ++r)
                    hostToFloats(image.row(y + r), image.depth, image.order,
                                 strip.data() + size_t(r) * size_t(image.width) * 4, image.width);
                write(reinterpret_cast<const uint8_t*>(strip.data()), {0, 4, 8, 12},
                      size_t(image.width) * 16, y, rows);
            }
        }
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& e) {
        fail(path, "cannot write OpenEXR (" + oneLine(e.what()) + ")");
    }
    pending.commit();
}
#endif

// The depth a file of `format` is written at; `requested` 0 takes `fallback` for PNG.
int fileDepth(const std::string& path, ImageFormat format, int requested, int fallback) {
    if (format == ImageFormat::Png) {
        const int depth = requested == 0 ? fallback : requested;
        if (depth != 8 && depth != 16)
            fail(path, "PNG is written at 8 or 16 bits, not " + std::to_string(depth));
        return depth;
    }
    const int depth = requested == 0 ? 32 : requested;
    if (depth != 32)
        fail(path, "OpenEXR is written as 32-bit float, not at " + std::to_string(depth) + " bits");
    return depth;
}

void checkHostImage(const std::string& path, const hostsim::Image& image) {
    checkSize(path, image.width, image.height);
    checkDepthAndOrder(path, image.depth, image.order);
    const size_t row = size_t(image.width) * size_t(image.pixelBytes());
    const size_t needed = size_t(image.height) * size_t(std::max<int32_t>(image.rowbytes, 0));
    if (size_t(std::max<int32_t>(image.rowbytes, 0)) < row || image.bytes.size() < needed)
        fail(path, "image buffer holds " + std::to_string(image.bytes.size()) +
                       " bytes in rows of " + std::to_string(image.rowbytes) + ", too few for " +
                       std::to_string(image.width) + " x " + std::to_string(image.height) +
                       " pixels of " + std::to_string(image.pixelBytes()) + " bytes");
}

void checkImage(const std::string& path, const Image& image) {
    checkSize(path, image.width, image.height);
    if (image.rgba.size() != size_t(image.width) * size_t(image.height) * 4)
        fail(path, "image buffer holds " + std::to_string(image.rgba.size()) + " floats, not " +
                       std::to_string(size_t(image.width) * size_t(image.height) * 4) + " for " +
                       std::to_string(image.width) + " x " + std::to_string(image.height));
}

void writeChecked(const std::string& path, ImageFormat format, const hostsim::Image& image,
                  int depth, PngCompression compression) {
    if (format == ImageFormat::Png) return writePng(path, image, depth, compression);
#if GLFX_WITH_OPENEXR
    writeExr(path, image);
#else
    fail(path, kNoExr);
#endif
}

} // namespace

ImageFile::ImageFile(const std::string& path) : path_(path) {
    header_.format = imageFormatOf(path);
    if (header_.format == ImageFormat::Png) {
        decoder_ = std::make_unique<PngDecoder>(path, header_);
        return;
    }
#if GLFX_WITH_OPENEXR
    decoder_ = std::make_unique<ExrDecoder>(path, header_);
#else
    fail(path, kNoExr);
#endif
}

ImageFile::~ImageFile() = default;

void ImageFile::read(hostsim::Image& into, int depth, ChannelOrder order) {
    if (!decoder_) fail(path_, "the image's pixels were read already");
    const std::unique_ptr<Decoder> decoder = std::move(decoder_);
    decoder->read(path_, header_, into, depth, order);
}

void writeImage(const std::string& path, const hostsim::Image& image, const WriteOptions& options) {
    const ImageFormat format = imageFormatOf(path);
    const int depth = fileDepth(path, format, options.depth, image.depth == 8 ? 8 : 16);
    checkHostImage(path, image);
    writeChecked(path, format, image, depth, options.png);
}

Image makeImage(int32_t width, int32_t height, int depth) {
    Image image;
    image.width = std::max(width, 0);
    image.height = std::max(height, 0);
    image.depth = depth;
    image.rgba.assign(size_t(image.width) * size_t(image.height) * 4, 0.0f);
    return image;
}

ImageFormat imageFormatOf(const std::string& path) {
    const std::string ext = lowerExtension(path);
    if (ext == ".png") return ImageFormat::Png;
#if GLFX_WITH_OPENEXR
    if (ext == ".exr") return ImageFormat::Exr;
    const char* const use = " (use .png or .exr)";
#else
    if (ext == ".exr") fail(path, kNoExr);
    const char* const use = " (use .png)";
#endif
    fail(path, (ext.empty() ? std::string("no file extension")
                            : "unsupported image format \"" + ext + "\"") +
                   use);
}

Image readImage(const std::string& path) {
    ImageFile file(path);
    hostsim::Image host;
    file.read(host, 32);
    Image image;
    image.width = host.width;
    image.height = host.height;
    image.depth = file.header().depth;
    image.rgba.resize(size_t(host.width) * size_t(host.height) * 4);
    for (int32_t y = 0; y < host.height; ++y)
        hostToFloats(host.row(y), 32, host.order, image.pixel(0, y), host.width);
    return image;
}

void writeImage(const std::string& path, const Image& image, int depth) {
    const ImageFormat format = imageFormatOf(path);
    depth = fileDepth(path, format, depth, image.depth == 8 ? 8 : 16);
    checkImage(path, image);
    hostsim::Image host;
    host.resize(image.width, image.height, 32);
    for (int32_t y = 0; y < image.height; ++y)
        floatsToHost(image.pixel(0, y), host.row(y), 32, host.order, image.width);
    writeChecked(path, format, host, depth, PngCompression::Fast);
}

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

namespace {

// [first, last) of every run of '#' in the file name part.
std::vector<std::pair<size_t, size_t>> hashRuns(const std::string& pattern) {
    const size_t slash = lastSeparator(pattern);
    size_t i = slash == std::string::npos ? 0 : slash + 1;
    std::vector<std::pair<size_t, size_t>> runs;
    while ((i = pattern.find('#', i)) != std::string::npos) {
        size_t end = pattern.find_first_not_of('#', i);
        if (end == std::string::npos) end = pattern.size();
        runs.emplace_back(i, end);
        i = end;
    }
    return runs;
}

} // namespace

bool isFramePattern(const std::string& pattern) {
    return !hashRuns(pattern).empty();
}

std::string framePath(const std::string& pattern, int64_t frame) {
    const auto runs = hashRuns(pattern);
    if (runs.empty())
        fail(pattern, "image sequence pattern has no # for the frame number (frame.####.png)");
    if (runs.size() > 1)
        fail(pattern, "image sequence pattern has more than one run of # in its file name");
    const int width = int(runs[0].second - runs[0].first);
    char digits[32];
    const int n = std::snprintf(digits, sizeof digits, "%0*lld", std::min(width, 24),
                                static_cast<long long>(frame));
    std::string number(digits, size_t(std::max(n, 0)));
    // Wider runs than any 64-bit number needs: pad the rest by hand.
    if (width > 24 && int(number.size()) < width) {
        const bool negative = frame < 0;
        number.insert(negative ? 1 : 0, size_t(width) - number.size(), '0');
    }
    return pattern.substr(0, runs[0].first) + number + pattern.substr(runs[0].second);
}

} // namespace glfx::cli
