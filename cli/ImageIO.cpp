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

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace glfx::cli {

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

float levelToFloat(uint32_t level, uint32_t maximum) {
    return float(level) / float(maximum);
}

// Nearest level; in double so that a float holding k / maximum always comes back as k.
uint32_t floatToLevel(float value, uint32_t maximum) {
    if (!(value > 0.0f)) return 0; // NaN too
    if (value >= 1.0f) return maximum;
    return uint32_t(std::lround(double(value) * double(maximum)));
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

void appendPngRow(const png_byte* row, const PngLayout& layout, Image& image) {
    const size_t start = image.rgba.size();
    const size_t count = size_t(layout.width) * 4;
    image.rgba.resize(start + count);
    float* out = image.rgba.data() + start;
    if (layout.depth == 16) {
        for (size_t i = 0; i < count; ++i)
            out[i] = levelToFloat(uint32_t(row[2 * i]) << 8 | row[2 * i + 1], 65535);
    } else {
        for (size_t i = 0; i < count; ++i)
            out[i] = levelToFloat(row[i], 255);
    }
}

// Non-interlaced files are converted row by row, so a truncated file whose header claims a huge
// size fails before much is allocated; interlaced ones need every row at once.
bool readPngPixels(png_structp png, const PngLayout& layout, std::vector<png_byte>& rows,
                   std::vector<png_bytep>& rowPointers, Image& image) {
    if (setjmp(png_jmpbuf(png))) return false;
    if (layout.interlaced) {
        rows.resize(layout.rowBytes * layout.height);
        rowPointers.resize(layout.height);
        for (uint32_t y = 0; y < layout.height; ++y)
            rowPointers[y] = rows.data() + size_t(y) * layout.rowBytes;
        png_read_image(png, rowPointers.data());
        for (uint32_t y = 0; y < layout.height; ++y)
            appendPngRow(rowPointers[y], layout, image);
    } else {
        rows.resize(layout.rowBytes);
        for (uint32_t y = 0; y < layout.height; ++y) {
            png_read_row(png, rows.data(), nullptr);
            appendPngRow(rows.data(), layout, image);
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

std::string pngProblem(const PngMessage& message) {
    return std::string("corrupt or truncated PNG file (") +
           (message.text[0] ? message.text : "unknown libpng error") + ")";
}

Image readPng(const std::string& path) {
    FileCloser file{openForReading(path)};
    png_byte signature[8] = {};
    const size_t got = std::fread(signature, 1, sizeof signature, file.file);
    if (got == 0 && std::ferror(file.file))
        fail(path, std::string("cannot read: ") + std::strerror(errno));
    if (got < sizeof signature || png_sig_cmp(signature, 0, sizeof signature) != 0)
        fail(path, "not a PNG file");

    PngMessage message;
    PngReadStructs s;
    s.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &message, onPngError, onPngWarning);
    if (s.png) s.info = png_create_info_struct(s.png);
    if (!s.png || !s.info) fail(path, "out of memory while opening the PNG reader");

    PngLayout layout;
    if (!readPngHeader(s.png, s.info, file.file, layout)) fail(path, pngProblem(message));
    checkSize(path, layout.width, layout.height);
    if (layout.channels != 4 || (layout.depth != 8 && layout.depth != 16) ||
        layout.rowBytes != size_t(layout.width) * 4 * size_t(layout.depth / 8))
        fail(path, "unsupported PNG layout (" + std::to_string(layout.channels) + " channels of " +
                       std::to_string(layout.depth) + " bits after expansion)");

    Image image;
    image.width = int32_t(layout.width);
    image.height = int32_t(layout.height);
    image.depth = layout.depth;
    std::vector<png_byte> rows;
    std::vector<png_bytep> rowPointers;
    if (!readPngPixels(s.png, layout, rows, rowPointers, image)) fail(path, pngProblem(message));
    return image;
}

struct PngWriteStructs {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~PngWriteStructs() { png_destroy_write_struct(&png, info ? &info : nullptr); }
};

bool writePngPixels(png_structp png, png_infop info, FILE* file, const Image& image, int depth,
                    bool withAlpha, std::vector<png_byte>& row) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_init_io(png, file);
    png_set_IHDR(png, info, png_uint_32(image.width), png_uint_32(image.height), depth,
                 withAlpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    const int channels = withAlpha ? 4 : 3;
    const uint32_t maximum = depth == 16 ? 65535 : 255;
    row.resize(size_t(image.width) * size_t(channels) * size_t(depth / 8));
    for (int32_t y = 0; y < image.height; ++y) {
        png_byte* out = row.data();
        for (int32_t x = 0; x < image.width; ++x) {
            const float* p = image.pixel(x, y);
            for (int c = 0; c < channels; ++c) {
                const uint32_t level = floatToLevel(p[c], maximum);
                if (depth == 16) *out++ = png_byte(level >> 8);
                *out++ = png_byte(level & 0xff);
            }
        }
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
    }

    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    ~PendingFile() {
        if (file_) std::fclose(file_);
        if (!committed_) std::remove(temporary_.c_str());
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

void writePng(const std::string& path, const Image& image, int depth) {
    bool opaque = true;
    const uint32_t maximum = depth == 16 ? 65535 : 255;
    for (size_t i = 3; i < image.rgba.size() && opaque; i += 4)
        opaque = floatToLevel(image.rgba[i], maximum) == maximum;

    PendingFile pending(path);
    PngWriteStructs s;
    PngMessage message;
    s.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &message, onPngError, onPngWarning);
    if (s.png) s.info = png_create_info_struct(s.png);
    if (!s.png || !s.info) fail(path, "out of memory while opening the PNG writer");
    std::vector<png_byte> row;
    if (!writePngPixels(s.png, s.info, pending.stream(), image, depth, !opaque, row))
        fail(path, std::string("cannot write PNG (") + message.text + ")");
    pending.commit();
}

// ---- OpenEXR --------------------------------------------------------------------------------

#if GLFX_WITH_OPENEXR

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

Image readExr(const std::string& path) {
    { FileCloser probe{openForReading(path)}; }
    bool tiled = false, deep = false, multiPart = false;
    if (!Imf::isOpenExrFile(path.c_str(), tiled, deep, multiPart))
        fail(path, "not an OpenEXR file");
    if (deep) fail(path, "deep OpenEXR images are not supported");

    Image image;
    try {
        Imf::InputFile file(path.c_str());
        const Imf::Header& header = file.header();
        const Imath::Box2i window = header.dataWindow();
        const int64_t width = int64_t(window.max.x) - window.min.x + 1;
        const int64_t height = int64_t(window.max.y) - window.min.y + 1;
        checkSize(path, width, height);

        const Imf::ChannelList& channels = header.channels();
        const bool grey = !channels.findChannel("R") && !channels.findChannel("G") &&
                          !channels.findChannel("B") && channels.findChannel("Y");
        if (!grey && !channels.findChannel("R") && !channels.findChannel("G") &&
            !channels.findChannel("B"))
            fail(path, "OpenEXR image has no R, G, B or Y channel");
        for (const char* name : {"R", "G", "B", "A", "Y"}) {
            const Imf::Channel* c = channels.findChannel(name);
            if (c && (c->xSampling != 1 || c->ySampling != 1))
                fail(path, std::string("subsampled OpenEXR channel ") + name + " is not supported");
        }

        image = makeImage(int32_t(width), int32_t(height), 32);
        Imf::FrameBuffer frame;
        const size_t xStride = 4 * sizeof(float);
        const size_t yStride = xStride * size_t(width);
        auto slice = [&](int component, double fill) {
            return Imf::Slice::Make(Imf::FLOAT, image.rgba.data() + component, window, xStride,
                                    yStride, 1, 1, fill);
        };
        if (grey) {
            frame.insert("Y", slice(0, 0.0));
        } else {
            frame.insert("R", slice(0, 0.0));
            frame.insert("G", slice(1, 0.0));
            frame.insert("B", slice(2, 0.0));
        }
        frame.insert("A", slice(3, 1.0));
        file.setFrameBuffer(frame);
        file.readPixels(window.min.y, window.max.y);
        if (grey)
            for (size_t i = 0; i < image.rgba.size(); i += 4)
                image.rgba[i + 1] = image.rgba[i + 2] = image.rgba[i];
    } catch (const ImageError&) {
        throw;
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& e) {
        fail(path, "corrupt or truncated OpenEXR file (" + oneLine(e.what()) + ")");
    }
    return image;
}

void writeExr(const std::string& path, const Image& image) {
    PendingFile pending(path);
    try {
        Imf::Header header(image.width, image.height);
        for (const char* name : {"R", "G", "B", "A"})
            header.channels().insert(name, Imf::Channel(Imf::FLOAT));
        Imf::FrameBuffer frame;
        const size_t xStride = 4 * sizeof(float);
        const size_t yStride = xStride * size_t(image.width);
        // OpenEXR only reads through these pointers while writing.
        char* base = reinterpret_cast<char*>(const_cast<float*>(image.rgba.data()));
        const char* names[4] = {"R", "G", "B", "A"};
        for (int c = 0; c < 4; ++c)
            frame.insert(names[c],
                         Imf::Slice(Imf::FLOAT, base + c * sizeof(float), xStride, yStride));
        ExrFileStream stream(pending.stream(), path);
        Imf::OutputFile out(stream, header);
        out.setFrameBuffer(frame);
        out.writePixels(image.height);
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& e) {
        fail(path, "cannot write OpenEXR (" + oneLine(e.what()) + ")");
    }
    pending.commit();
}
#else
const char* const kNoExr = "EXR files are not supported by this build of glfx; use .png";
#endif

void checkImage(const std::string& path, const Image& image) {
    checkSize(path, image.width, image.height);
    if (image.rgba.size() != size_t(image.width) * size_t(image.height) * 4)
        fail(path, "image buffer holds " + std::to_string(image.rgba.size()) + " floats, not " +
                       std::to_string(size_t(image.width) * size_t(image.height) * 4) + " for " +
                       std::to_string(image.width) + " x " + std::to_string(image.height));
}

} // namespace

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
    if (imageFormatOf(path) == ImageFormat::Png) return readPng(path);
#if GLFX_WITH_OPENEXR
    return readExr(path);
#else
    fail(path, kNoExr);
#endif
}

void writeImage(const std::string& path, const Image& image, int depth) {
    const ImageFormat format = imageFormatOf(path);
    if (format == ImageFormat::Png) {
        if (depth == 0) depth = image.depth == 8 ? 8 : 16;
        if (depth != 8 && depth != 16)
            fail(path, "PNG is written at 8 or 16 bits, not " + std::to_string(depth));
    } else {
        if (depth == 0) depth = 32;
        if (depth != 32)
            fail(path,
                 "OpenEXR is written as 32-bit float, not at " + std::to_string(depth) + " bits");
    }
    checkImage(path, image);
    if (format == ImageFormat::Png)
        writePng(path, image, depth);
    else
#if GLFX_WITH_OPENEXR
        writeExr(path, image);
#else
        fail(path, kNoExr);
#endif
}

uint8_t toHost8(float value) {
    return uint8_t(floatToLevel(value, 255));
}

uint16_t toHost16(float value) {
    return uint16_t(floatToLevel(value, 32768));
}

float fromHost8(uint8_t level) {
    return levelToFloat(level, 255);
}

float fromHost16(uint16_t level) {
    return levelToFloat(std::min<uint32_t>(level, 32768), 32768);
}

uint16_t png16ToHost16(uint16_t sample) {
    return toHost16(levelToFloat(sample, 65535));
}

uint16_t host16ToPng16(uint16_t level) {
    return uint16_t(floatToLevel(fromHost16(level), 65535));
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
