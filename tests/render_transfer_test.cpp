// The pixel transfers: the choice by format, and the converting transfers, vectorised, against a
// plain model of their rules written out channel by channel. Every bit must agree, for random
// channel values (NaN, infinities, negatives, huge and tiny floats among them), every tail length,
// padded rows and staging buffers at any address; integer levels come back as they went up.
#include "render/PixelTransfer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

using namespace glfx;

namespace {

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
        EXPECT_EQ(t, c.expected);
    }
}

TEST(PixelTransfer, LayersStageFromTheirSlotsAndEmptyOnesAsTransparentBlack) {
    std::vector<float> staged(100 * 100 * 4, 7.0f);
    uploadWorld(Transfer::Converting8, nullptr, 100, 100, staged.data());
    EXPECT_EQ(std::count(staged.begin(), staged.end(), 0.0f), long(staged.size()));
    PF_EffectWorld noPixels{};
    noPixels.width = noPixels.height = 100;
    std::fill(staged.begin(), staged.end(), 7.0f);
    uploadWorld(Transfer::Converting16, &noPixels, 100, 100, staged.data());
    EXPECT_EQ(std::count(staged.begin(), staged.end(), 0.0f), long(staged.size()));
}

struct Rule {
    const char* name;
    Transfer transfer;
    int hostBytes; // per channel: 1, 2 or 4
    int from[4];   // staged channel j comes from host channel from[j]; raw: bytes as they are
    float scale;   // upload multiplier
    float down;    // download multiplier
    float maximum; // download clamp; 0 for floats
};

constexpr float k8 = 0.003921569f;
const Rule kRules[] = {
    {"Converting8", Transfer::Converting8, 1, {1, 2, 3, 0}, k8, 255.0f, 255.0f},
    {"Converting8Premiere", Transfer::Converting8Premiere, 1, {2, 1, 0, 3}, k8, 255.0f, 255.0f},
    {"Converting8PremiereFast", Transfer::Converting8PremiereFast, 1, {3, 2, 1, 0}, k8, 255, 255},
    {"Converting16", Transfer::Converting16, 2, {1, 2, 3, 0}, 1.0f / 32768, 32768.0f, 32768.0f},
    {"Raw16", Transfer::Raw16, 2, {0, 1, 2, 3}, 1.0f / 32768.0f, 32768.0f, 32768.0f},
    {"Converting32", Transfer::Converting32, 4, {1, 2, 3, 0}, 1.0f, 1.0f, 0.0f},
    {"Raw8", Transfer::Raw8, 1, {}, 0, 0, 0},
    {"Raw32", Transfer::Raw32, 4, {}, 0, 0, 0},
};

bool isRaw(const Rule& r) {
    return r.transfer == Transfer::Raw8 || r.transfer == Transfer::Raw32;
}

// The rule for one channel on the way back: multiply, clamp (NaN to 0), round to the nearest.
uint32_t modelChannel(float f, const Rule& r) {
    const float v = f * r.down;
    if (!(v > 0.0f)) return 0;
    if (!(v < r.maximum)) return static_cast<uint32_t>(r.maximum);
    return static_cast<uint32_t>(static_cast<int32_t>(v + 0.5f));
}

float randomFloat(std::mt19937& rng) {
    switch (rng() % 8) {
    case 0:
        return std::numeric_limits<float>::quiet_NaN();
    case 1:
        return (rng() % 2 != 0 ? 1 : -1) * std::numeric_limits<float>::infinity();
    case 2: {
        uint32_t bits = rng();
        float f;
        std::memcpy(&f, &bits, sizeof f);
        return f; // any pattern: huge, tiny, subnormal, negative
    }
    case 3:
        return float(rng() % 70000) / 65536.0f - 0.03f; // around 0 ... 1 and a little outside
    default:
        return float(rng() % 256) / 255.0f;
    }
}

class TransferExact : public ::testing::TestWithParam<Rule> {};

TEST_P(TransferExact, AgreesBitForBitWithTheModelAndRoundTripsIntegerLevels) {
    const Rule& r = GetParam();
    std::mt19937 rng(1234 + static_cast<unsigned>(r.transfer));
    const int pixel = 4 * r.hostBytes;
    for (int32_t width : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 15, 16, 17, 33, 1921}) {
        for (int offset : {0, 4, 8}) { // staging at 16-byte alignment and off it
            SCOPED_TRACE("width " + std::to_string(width) + ", staging offset " +
                         std::to_string(offset));
            const int32_t height = 3;
            const int32_t rowbytes = width * pixel + 8;
            std::vector<uint8_t> host(size_t(height) * size_t(rowbytes));
            for (uint8_t& b : host)
                b = static_cast<uint8_t>(rng());
            if (r.hostBytes == 2) // host values 0 ... 32768 and, outside that, anything
                for (size_t i = 0; i + 1 < host.size(); i += 2)
                    if (rng() % 4 != 0) host[i + 1] &= 0x7F;
            PF_EffectWorld world{};
            world.width = width;
            world.height = height;
            world.rowbytes = rowbytes;
            world.data = reinterpret_cast<PF_PixelPtr>(host.data());

            // Upload, then straight back down: integer levels are kept, padding is not touched.
            std::vector<float> storage(size_t(width) * height * 4 + 4);
            float* staged =
                reinterpret_cast<float*>(reinterpret_cast<uint8_t*>(storage.data()) + offset);
            uploadWorld(r.transfer, &world, width, height, staged);
            std::vector<uint8_t> out(host.size(), 0x5A);
            world.data = reinterpret_cast<PF_PixelPtr>(out.data());
            downloadWorld(r.transfer, staged, &world);
            for (int32_t y = 0; y < height; ++y) {
                for (int32_t x = 0; x < width; ++x)
                    for (int c = 0; c < 4; ++c) {
                        const size_t at =
                            size_t(y) * rowbytes + size_t(x * pixel + c * r.hostBytes);
                        uint32_t level = 0;
                        std::memcpy(&level, &host[at], size_t(r.hostBytes));
                        if ((r.hostBytes == 4 && !isRaw(r)) || (r.hostBytes == 2 && level > 32768))
                            continue;
                        ASSERT_EQ(std::memcmp(&out[at], &host[at], size_t(r.hostBytes)), 0)
                            << "round trip of pixel " << x << ", " << y << " channel " << c;
                    }
                for (int32_t b = width * pixel; b < rowbytes; ++b)
                    ASSERT_EQ(out[size_t(y) * rowbytes + size_t(b)], 0x5A) << "row padding";
            }
            world.data = reinterpret_cast<PF_PixelPtr>(host.data());
            if (isRaw(r)) { // staged as the rows lie, without their padding
                for (int32_t y = 0; y < height; ++y)
                    ASSERT_EQ(std::memcmp(&staged[size_t(y) * width * pixel / 4],
                                          &host[size_t(y) * rowbytes], size_t(width * pixel)),
                              0);
                continue;
            }
            for (int32_t y = 0; y < height; ++y)
                for (int32_t x = 0; x < width; ++x)
                    for (int j = 0; j < 4; ++j) {
                        const uint8_t* p = host.data() + size_t(y) * rowbytes + size_t(x) * pixel +
                                           size_t(r.from[j]) * size_t(r.hostBytes);
                        float expected;
                        if (r.hostBytes == 1) {
                            expected = float(*p) * r.scale;
                        } else if (r.hostBytes == 2) {
                            uint16_t v;
                            std::memcpy(&v, p, 2);
                            expected = float(v) * r.scale;
                        } else {
                            std::memcpy(&expected, p, 4);
                        }
                        const float got = staged[(size_t(y) * width + size_t(x)) * 4 + size_t(j)];
                        ASSERT_EQ(std::memcmp(&got, &expected, 4), 0)
                            << "upload of pixel " << x << ", " << y << " channel " << j;
                    }

            // Download of arbitrary floats.
            for (int32_t i = 0; i < width * height * 4; ++i)
                staged[i] = randomFloat(rng);
            world.data = reinterpret_cast<PF_PixelPtr>(out.data());
            downloadWorld(r.transfer, staged, &world);
            for (int32_t y = 0; y < height; ++y)
                for (int32_t x = 0; x < width; ++x)
                    for (int j = 0; j < 4; ++j) {
                        const float f = staged[(size_t(y) * width + size_t(x)) * 4 + size_t(j)];
                        const uint8_t* p = out.data() + size_t(y) * rowbytes + size_t(x) * pixel +
                                           size_t(r.from[j]) * size_t(r.hostBytes);
                        if (r.hostBytes == 4) {
                            ASSERT_EQ(std::memcmp(p, &f, 4), 0) << "float pixel " << x << ", " << y;
                            continue;
                        }
                        uint32_t got = 0;
                        std::memcpy(&got, p, size_t(r.hostBytes));
                        ASSERT_EQ(got, modelChannel(f, r))
                            << "pixel " << x << ", " << y << " channel " << j << " from " << f;
                    }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(PixelTransfer, TransferExact, ::testing::ValuesIn(kRules),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
