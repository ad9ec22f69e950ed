#include "render/PixelTransfer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

using namespace glfx;

namespace {

// A host world over its own bytes, rows padded with a sentinel beyond `width` pixels.
struct TestWorld {
    TestWorld(int32_t w, int32_t h, int pixelBytes, int padBytes = 12)
        : bytes(static_cast<size_t>(h) * (w * pixelBytes + padBytes), 0xAB) {
        std::memset(&world, 0, sizeof world);
        world.width = w;
        world.height = h;
        world.rowbytes = w * pixelBytes + padBytes;
        world.data = reinterpret_cast<PF_PixelPtr>(bytes.data());
        this->pixelBytes = pixelBytes;
    }
    template <typename T> T* pixel(int32_t x, int32_t y) {
        return reinterpret_cast<T*>(bytes.data() + y * world.rowbytes + x * pixelBytes);
    }
    bool paddingIntact() const {
        for (int32_t y = 0; y < world.height; ++y)
            for (int32_t b = world.width * pixelBytes; b < world.rowbytes; ++b)
                if (bytes[y * world.rowbytes + b] != 0xAB) return false;
        return true;
    }
    std::vector<uint8_t> bytes;
    PF_EffectWorld world;
    int pixelBytes;
};

} // namespace

TEST(PixelTransfer, ChoiceByFormatFastAndHost) {
    const struct {
        PF_PixelFormat format;
        bool fast, premiere, ok;
        Transfer expected;
    } cases[] = {
        {PF_PixelFormat_ARGB32, false, false, true, Transfer::Converting8},
        {PF_PixelFormat_ARGB32, true, false, true, Transfer::Raw8},
        {PF_PixelFormat_ARGB32, false, true, true, Transfer::Converting8Premiere},
        {PF_PixelFormat_ARGB32, true, true, true, Transfer::Converting8PremiereFast},
        {PF_PixelFormat_ARGB64, true, false, true, Transfer::Raw16},
        {PF_PixelFormat_ARGB64, true, true, true, Transfer::Converting16},
        {PF_PixelFormat_ARGB128, false, false, true, Transfer::Converting32},
        {PF_PixelFormat_ARGB128, true, false, true, Transfer::Raw32},
        {PF_PixelFormat_BGRA32, false, true, false, Transfer::Converting8},
        {PF_PixelFormat_INVALID, false, false, false, Transfer::Converting8},
    };
    for (const auto& c : cases) {
        Transfer t = Transfer::Converting8;
        EXPECT_EQ(chooseTransfer(c.format, c.fast, c.premiere, &t), c.ok);
        if (c.ok) {
            EXPECT_EQ(t, c.expected);
        }
    }
    EXPECT_EQ(stagingPixelType(Transfer::Raw8), 0x8367u);
    EXPECT_EQ(stagingPixelType(Transfer::Raw32), 0x1406u);
}

TEST(PixelTransfer, ChannelOrderOfEveryTransfer) {
    // Host channels in memory are 10, 20, 30, 40 (scaled to each depth); the staged floats show
    // which host channel lands in texture channels r, g, b, a.
    const struct {
        Transfer t;
        int pixelBytes;
        int order[4];
    } cases[] = {
        {Transfer::Converting8, 4, {1, 2, 3, 0}},
        {Transfer::Converting8Premiere, 4, {2, 1, 0, 3}},
        {Transfer::Converting8PremiereFast, 4, {3, 2, 1, 0}},
        {Transfer::Converting16, 8, {1, 2, 3, 0}},
        {Transfer::Raw16, 8, {0, 1, 2, 3}},
        {Transfer::Converting32, 16, {1, 2, 3, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.t));
        TestWorld in(1, 1, c.pixelBytes);
        for (int ch = 0; ch < 4; ++ch) {
            if (c.pixelBytes == 4) in.pixel<uint8_t>(0, 0)[ch] = uint8_t(10 * (ch + 1));
            if (c.pixelBytes == 8) in.pixel<uint16_t>(0, 0)[ch] = uint16_t(1000 * (ch + 1));
            if (c.pixelBytes == 16) in.pixel<float>(0, 0)[ch] = 0.1f * (ch + 1);
        }
        float staged[4];
        uploadWorld(c.t, &in.world, 1, 1, staged);
        const float unit = c.pixelBytes == 4   ? 10 * 0.003921569f
                           : c.pixelBytes == 8 ? 1000 / 32768.0f
                                               : 0.1f;
        for (int j = 0; j < 4; ++j)
            EXPECT_FLOAT_EQ(staged[j], unit * (c.order[j] + 1)) << j;

        TestWorld out(1, 1, c.pixelBytes);
        downloadWorld(c.t, staged, &out.world);
        EXPECT_EQ(std::memcmp(out.pixel<uint8_t>(0, 0), in.pixel<uint8_t>(0, 0), c.pixelBytes), 0);
    }

    TestWorld raw(1, 1, 4);
    const uint8_t argb[4] = {200, 1, 2, 3};
    std::memcpy(raw.pixel<uint8_t>(0, 0), argb, 4);
    uint8_t staged[4];
    uploadWorld(Transfer::Raw8, &raw.world, 1, 1, staged);
    EXPECT_EQ(staged[0], 200) << "texture channel r holds the host's alpha";
}

TEST(PixelTransfer, WorkedValues) {
    TestWorld in8(1, 1, 4);
    const uint8_t argb[4] = {255, 255, 128, 0};
    std::memcpy(in8.pixel<uint8_t>(0, 0), argb, 4);
    float f[8];
    uploadWorld(Transfer::Converting8, &in8.world, 1, 1, f);
    EXPECT_FLOAT_EQ(f[0], 1.0f);
    EXPECT_NEAR(f[1], 0.50196f, 1e-5);
    EXPECT_FLOAT_EQ(f[2], 0.0f);
    EXPECT_FLOAT_EQ(f[3], 1.0f);

    TestWorld in16(2, 1, 8);
    in16.pixel<uint16_t>(0, 0)[1] = 32768;
    in16.pixel<uint16_t>(1, 0)[1] = 16384;
    uploadWorld(Transfer::Converting16, &in16.world, 2, 1, f);
    EXPECT_EQ(f[0], 1.0f);
    EXPECT_EQ(f[4], 0.5f);
}

TEST(PixelTransfer, DownloadsClampOutOfRangeAndRoundInside) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        float value;
        uint8_t at8;
        uint16_t at16;
    } cases[] = {
        {1.5f, 255, 32768}, {-0.01f, 0, 0},      {0.999f, 255, 32735}, {1.0f, 255, 32768},
        {nan, 0, 0},        {1e30f, 255, 32768}, {-1e30f, 0, 0},       {0.5f, 128, 16384},
        {0.25f, 64, 8192},  {0.001f, 0, 33},     {0.0019f, 0, 62},     {0.002f, 1, 66},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        const float rgba[4] = {c.value, 0, 0, 1};
        TestWorld out8(1, 1, 4);
        downloadWorld(Transfer::Converting8, rgba, &out8.world);
        EXPECT_EQ(out8.pixel<uint8_t>(0, 0)[1], c.at8);
        TestWorld out16(1, 1, 8);
        downloadWorld(Transfer::Converting16, rgba, &out16.world);
        EXPECT_EQ(out16.pixel<uint16_t>(0, 0)[1], c.at16);
    }
}

// Every 8-bit value in every channel, and every 16-bit level 0 ... 32768.
TEST(PixelTransfer, EveryIntegerLevelRoundTripsExactly) {
    const struct {
        Transfer t;
        int pixelBytes;
        int32_t width;
    } cases[] = {{Transfer::Converting8, 4, 256},
                 {Transfer::Converting8Premiere, 4, 256},
                 {Transfer::Converting8PremiereFast, 4, 256},
                 {Transfer::Raw8, 4, 256},
                 {Transfer::Converting16, 8, 32769 / 4 + 1},
                 {Transfer::Raw16, 8, 32769 / 4 + 1}};
    for (const auto& c : cases) {
        TestWorld in(c.width, 1, c.pixelBytes);
        for (int32_t x = 0; x < c.width; ++x)
            for (int ch = 0; ch < 4; ++ch) {
                if (c.pixelBytes == 4) in.pixel<uint8_t>(x, 0)[ch] = uint8_t((x + 85 * ch) & 255);
                if (c.pixelBytes == 8)
                    in.pixel<uint16_t>(x, 0)[ch] = uint16_t(std::min(4 * x + ch, 32768));
            }
        std::vector<float> staged(size_t(c.width) * 4);
        uploadWorld(c.t, &in.world, c.width, 1, staged.data());
        TestWorld out(c.width, 1, c.pixelBytes);
        downloadWorld(c.t, staged.data(), &out.world);
        EXPECT_TRUE(out.bytes == in.bytes) << static_cast<int>(c.t);
    }
}

TEST(PixelTransfer, PaddedRowsAndEveryTailLength) {
    const Transfer all[] = {Transfer::Converting8,
                            Transfer::Converting8Premiere,
                            Transfer::Converting8PremiereFast,
                            Transfer::Raw8,
                            Transfer::Converting16,
                            Transfer::Raw16,
                            Transfer::Converting32,
                            Transfer::Raw32};
    for (Transfer t : all) {
        const int pixelBytes = t == Transfer::Converting16 || t == Transfer::Raw16   ? 8
                               : t == Transfer::Converting32 || t == Transfer::Raw32 ? 16
                                                                                     : 4;
        for (int32_t w = 1; w <= 9; ++w) {
            SCOPED_TRACE(std::to_string(static_cast<int>(t)) + " width " + std::to_string(w));
            TestWorld in(w, 3, pixelBytes);
            for (int32_t y = 0; y < 3; ++y)
                for (int32_t x = 0; x < w; ++x)
                    for (int b = 0; b < pixelBytes; ++b)
                        in.pixel<uint8_t>(x, y)[b] =
                            uint8_t(pixelBytes == 16 ? (b % 4 == 3 ? 0x3E : 0)
                                                     : (x * 7 + y * 13 + b) & 0x7F);
            std::vector<float> staged(size_t(w) * 3 * 4, -1.0f);
            uploadWorld(t, &in.world, w, 3, staged.data());
            TestWorld out(w, 3, pixelBytes);
            downloadWorld(t, staged.data(), &out.world);
            EXPECT_TRUE(out.paddingIntact());
            EXPECT_TRUE(in.paddingIntact());
            for (int32_t y = 0; y < 3; ++y)
                EXPECT_EQ(std::memcmp(out.pixel<uint8_t>(0, y), in.pixel<uint8_t>(0, y),
                                      size_t(w) * pixelBytes),
                          0);
        }
    }
}

TEST(PixelTransfer, EmptyLayersStageTransparentBlack) {
    std::vector<float> staged(100 * 100 * 4, 7.0f);
    uploadWorld(Transfer::Converting8, nullptr, 100, 100, staged.data());
    EXPECT_EQ(std::count(staged.begin(), staged.end(), 0.0f), long(staged.size()));

    TestWorld noPixels(4, 4, 4);
    noPixels.world.data = nullptr;
    std::fill(staged.begin(), staged.end(), 7.0f);
    uploadWorld(Transfer::Converting16, &noPixels.world, 100, 100, staged.data());
    EXPECT_EQ(staged[0], 0.0f);
    EXPECT_EQ(staged.back(), 0.0f);
}
