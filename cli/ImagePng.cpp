// PNG files through libpng: 8 and 16 bits in any colour type, RGB or RGBA out.
#include "ImageIOParts.h"

#include <png.h>
#include <zlib.h>

#include <cerrno>
#include <csetjmp>
#include <cstring>
#include <vector>

namespace glfx::cli::detail {

using hostsim::ChannelOrder;

namespace {

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

} // namespace

std::unique_ptr<ImageFile::Decoder> pngDecoder(const std::string& path, ImageHeader& header) {
    return std::make_unique<PngDecoder>(path, header);
}

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

} // namespace glfx::cli::detail
