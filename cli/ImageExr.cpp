// OpenEXR files: read at any pixel type, written as 32-bit float. Compiled to nothing where the
// build has no OpenEXR (GLFX_WITH_OPENEXR 0).
#include "ImageIOParts.h"

#if GLFX_WITH_OPENEXR
#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfIO.h>
#include <ImfInputFile.h>
#include <ImfOutputFile.h>
#include <ImfTestFile.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace glfx::cli::detail {

using hostsim::ChannelOrder;

namespace {

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

} // namespace

std::unique_ptr<ImageFile::Decoder> exrDecoder(const std::string& path, ImageHeader& header) {
    return std::make_unique<ExrDecoder>(path, header);
}

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

} // namespace glfx::cli::detail
#endif
