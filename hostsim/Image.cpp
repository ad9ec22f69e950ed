#include "hostsim/Image.h"

#include <cmath>
#include <cstring>
#include <iterator>
#include <stdexcept>

namespace glfx::hostsim {
namespace {

float unit(float v) {
    if (!(v > 0.0f)) return 0.0f; // NaN too
    return v < 1.0f ? v : 1.0f;
}

void checkLayout(int32_t width, int32_t height, int depth, ChannelOrder order, int32_t padding) {
    if (depth != 8 && depth != 16 && depth != 32)
        throw std::invalid_argument("image depth must be 8, 16 or 32 bits per channel");
    if (order == ChannelOrder::Bgra && depth != 8)
        throw std::invalid_argument("blue, green, red, alpha images are 8-bit only");
    if (width < 0 || height < 0 || padding < 0)
        throw std::invalid_argument("image size and row padding cannot be negative");
}

} // namespace

Image Image::make(int32_t width, int32_t height, int depth, ChannelOrder order, int32_t rowPadding,
                  uint8_t fill, uint8_t padFill) {
    Image image;
    image.reset(width, height, depth, order, rowPadding, fill, padFill);
    return image;
}

void Image::resize(int32_t newWidth, int32_t newHeight, int newDepth, ChannelOrder newOrder) {
    checkLayout(newWidth, newHeight, newDepth, newOrder, 0);
    width = newWidth;
    height = newHeight;
    depth = newDepth;
    order = newOrder;
    rowbytes = int32_t(size_t(width) * size_t(pixelBytes()));
    bytes.resize(size_t(height) * size_t(rowbytes));
}

void Image::reset(int32_t newWidth, int32_t newHeight, int newDepth, ChannelOrder newOrder,
                  int32_t rowPadding, uint8_t fill, uint8_t padFill) {
    checkLayout(newWidth, newHeight, newDepth, newOrder, rowPadding);
    width = newWidth;
    height = newHeight;
    depth = newDepth;
    order = newOrder;
    const size_t row = size_t(width) * size_t(pixelBytes());
    rowbytes = int32_t(row) + rowPadding;
    bytes.assign(size_t(height) * size_t(rowbytes), padFill);
    if (fill != padFill)
        for (int32_t y = 0; y < height; ++y)
            std::memset(this->row(y), fill, row);
}

int Image::position(int c) const {
    // Red, green, blue, alpha in memory order.
    static const int argb[4] = {1, 2, 3, 0};
    static const int bgra[4] = {2, 1, 0, 3};
    return order == ChannelOrder::Bgra ? bgra[c] : argb[c];
}

float Image::channel(int32_t x, int32_t y, int c) const {
    const uint8_t* p = row(y) + size_t(x) * size_t(pixelBytes());
    const int at = position(c);
    switch (depth) {
    case 8:
        return float(p[at]) / 255.0f;
    case 16: {
        uint16_t v;
        std::memcpy(&v, p + 2 * at, 2);
        return float(v) / 32768.0f;
    }
    default: {
        float v;
        std::memcpy(&v, p + 4 * at, 4);
        return v;
    }
    }
}

Image Image::fromRgba(const float* rgba, int32_t width, int32_t height, int depth,
                      ChannelOrder order, int32_t rowPadding) {
    Image image = make(width, height, depth, order, rowPadding);
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* p = image.row(y);
        for (int32_t x = 0; x < width; ++x, p += image.pixelBytes()) {
            const float* s = rgba + (size_t(y) * size_t(width) + size_t(x)) * 4;
            for (int c = 0; c < 4; ++c) {
                const int at = image.position(c);
                if (depth == 8) {
                    p[at] = uint8_t(std::lround(unit(s[c]) * 255.0f));
                } else if (depth == 16) {
                    const auto v = uint16_t(std::lround(unit(s[c]) * 32768.0f));
                    std::memcpy(p + 2 * at, &v, 2);
                } else {
                    std::memcpy(p + 4 * at, &s[c], 4);
                }
            }
        }
    }
    return image;
}

std::vector<float> Image::toRgba() const {
    std::vector<float> rgba(size_t(width) * size_t(height) * 4);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            for (int c = 0; c < 4; ++c)
                rgba[(size_t(y) * size_t(width) + size_t(x)) * 4 + size_t(c)] = channel(x, y, c);
    return rgba;
}

Image Image::converted(int newDepth, ChannelOrder newOrder, int32_t rowPadding) const {
    const std::vector<float> rgba = toRgba();
    return fromRgba(rgba.data(), width, height, newDepth, newOrder, rowPadding);
}

bool Image::paddingIs(uint8_t padFill) const {
    const size_t row = size_t(width) * size_t(pixelBytes());
    for (int32_t y = 0; y < height; ++y)
        for (size_t i = row; i < size_t(rowbytes); ++i)
            if (this->row(y)[i] != padFill) return false;
    return true;
}

PF_PixelFormat Image::pixelFormat() const {
    switch (depth) {
    case 16:
        return PF_PixelFormat_ARGB64;
    case 32:
        return PF_PixelFormat_ARGB128;
    default:
        return PF_PixelFormat_ARGB32;
    }
}

Clip::Clip(Image still) {
    frames_.emplace(0, std::move(still));
}

void Clip::add(A_long time, Image image) {
    frames_[time] = std::move(image);
    hashes_.clear();
}

void Clip::clear(std::vector<Image>& spare) {
    for (auto& frame : frames_)
        spare.push_back(std::move(frame.second));
    frames_.clear();
    hashes_.clear();
}

const Image* Clip::at(A_long time) const {
    if (frames_.empty()) return nullptr;
    auto it = frames_.upper_bound(time);
    if (it == frames_.begin()) return &it->second;
    return &std::prev(it)->second;
}

uint64_t Clip::hashAt(A_long time) const {
    const Image* image = at(time);
    if (image == nullptr) return 0;
    const auto found = hashes_.find(image);
    if (found != hashes_.end()) return found->second;
    uint64_t hash = 0xcbf29ce484222325ull;
    const auto mix = [&hash](const void* data, size_t size) {
        const auto* bytes = static_cast<const uint8_t*>(data);
        for (size_t i = 0; i < size; ++i)
            hash = (hash ^ bytes[i]) * 0x100000001b3ull;
    };
    const int32_t facts[] = {image->width, image->height, image->depth,
                             static_cast<int32_t>(image->order)};
    mix(facts, sizeof facts);
    mix(image->bytes.data(), image->bytes.size());
    hashes_.emplace(image, hash);
    return hash;
}

} // namespace glfx::hostsim
