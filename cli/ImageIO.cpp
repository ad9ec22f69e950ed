// The image files' entry points, and the error and file handling their parts share: the formats
// are in ImagePng.cpp and ImageExr.cpp, the level conversions in ImageLevels.cpp.
#include "ImageIO.h"

#include "FileSystem.h"
#include "ImageIOParts.h"

#include <algorithm>
#include <cerrno>
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

std::string lowerExtension(const std::string& path) {
    const size_t slash = lastSeparator(path);
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string ext = path.substr(dot);
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return ext;
}

#if !GLFX_WITH_OPENEXR
const char* const kNoExr = "EXR files are not supported by this build of glfx; use .png";
#endif

} // namespace

namespace detail {

void fail(const std::string& path, const std::string& problem) {
    throw ImageError(printable(path) + ": " + printable(problem));
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

// ---- Writing through a temporary file -------------------------------------------------------

PendingFile::PendingFile(const std::string& destination) : destination_(destination) {
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

PendingFile::~PendingFile() {
    if (file_) std::fclose(file_);
    if (!committed_) std::remove(temporary_.c_str());
    untrackLeftover(temporary_);
}

void PendingFile::commit() {
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

} // namespace detail

using detail::checkDepthAndOrder;
using detail::checkSize;
using detail::fail;
using detail::floatsToHost;
using detail::hostToFloats;

namespace {

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
    if (format == ImageFormat::Png) return detail::writePng(path, image, depth, compression);
#if GLFX_WITH_OPENEXR
    detail::writeExr(path, image);
#else
    fail(path, kNoExr);
#endif
}

} // namespace

ImageFile::ImageFile(const std::string& path) : path_(path) {
    header_.format = imageFormatOf(path);
    if (header_.format == ImageFormat::Png) {
        decoder_ = detail::pngDecoder(path, header_);
        return;
    }
#if GLFX_WITH_OPENEXR
    decoder_ = detail::exrDecoder(path, header_);
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
