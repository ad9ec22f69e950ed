// What the compile-time checks in sdk_layout_check.cpp cannot see: byte order in memory and the
// behaviour of the SDK's statement macros.
#include "AE_Effect.h"
#include "AE_EffectPixelFormat.h"
#include "AE_Macros.h"
#include "PrSDKPixelFormat.h"
#include "SPPiPL.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

std::string bytesInMemory(A_u_long value) {
    char bytes[4];
    std::memcpy(bytes, &value, sizeof bytes);
    return std::string(bytes, sizeof bytes);
}

struct CodeCase {
    const char* name;
    A_u_long value;
    const char* memory;
};

// Pixel formats spell their code in memory; the host compares them as stored.
TEST(SdkFourCharCodes, PixelFormatsSpellTheirCodeInMemory) {
    const CodeCase cases[] = {
        {"PF_PixelFormat_ARGB32", (A_u_long)PF_PixelFormat_ARGB32, "argb"},
        {"PF_PixelFormat_ARGB64", (A_u_long)PF_PixelFormat_ARGB64, "ae16"},
        {"PF_PixelFormat_ARGB128", (A_u_long)PF_PixelFormat_ARGB128, "ae32"},
        {"PF_PixelFormat_BGRA32", (A_u_long)PF_PixelFormat_BGRA32, "bgra"},
        {"PF_PixelFormat_VUYA32", (A_u_long)PF_PixelFormat_VUYA32, "vuya"},
        {"PF_PixelFormat_INVALID", (A_u_long)PF_PixelFormat_INVALID, "badf"},
        {"PrPixelFormat_BGRA_4444_8u", (A_u_long)PrPixelFormat_BGRA_4444_8u, "bgra"},
        {"PrPixelFormat_BGRA_4444_16u", (A_u_long)PrPixelFormat_BGRA_4444_16u, "Bgra"},
        {"PrPixelFormat_BGRA_4444_32f", (A_u_long)PrPixelFormat_BGRA_4444_32f, "BGra"},
    };
    for (const CodeCase& c : cases) {
        EXPECT_EQ(bytesInMemory(c.value), c.memory) << c.name;
    }
}

// Property-list keys are integers; written natively they come out byte-reversed in a resource.
TEST(SdkFourCharCodes, PiplKeysAppearByteReversedInMemory) {
    const CodeCase cases[] = {
        {"PIAdobeVendorID", PIAdobeVendorID, "EBDA"},
        {"PIKindProperty", PIKindProperty, "dnik"},
        {"PIWin64X86CodeProperty", PIWin64X86CodeProperty, "4668"},
    };
    for (const CodeCase& c : cases) {
        EXPECT_EQ(bytesInMemory(c.value), c.memory) << c.name;
    }
}

// A record cleared this way goes to the host byte for byte, padding included.
TEST(SdkMacros, ClrStructZeroesPaddingToo) {
    PF_OutData out;
    std::memset(&out, 0xAB, sizeof out);
    AEFX_CLR_STRUCT(out);
    const auto* bytes = reinterpret_cast<const unsigned char*>(&out);
    for (size_t i = 0; i < sizeof out; ++i) {
        ASSERT_EQ(bytes[i], 0) << "byte " << i;
    }
}

// ERR skips work after the first error; ERR2 always runs (clean-up) and keeps the first error.
TEST(SdkMacros, ErrKeepsTheFirstErrorAndErr2StillRuns) {
    std::vector<int> ran;
    auto step = [&ran](int id, A_Err result) {
        ran.push_back(id);
        return result;
    };

    A_Err err = A_Err_NONE;
    A_Err err2 = A_Err_NONE;
    ERR(step(1, A_Err_NONE));
    ERR(step(2, A_Err_PARAMETER));
    ERR(step(3, A_Err_NONE));
    ERR2(step(4, A_Err_ALLOC));
    ERR2(step(5, A_Err_NONE));

    EXPECT_EQ(ran, (std::vector<int>{1, 2, 4, 5}));
    EXPECT_EQ(err, A_Err_PARAMETER);
    EXPECT_EQ(err2, A_Err_NONE);

    err = A_Err_NONE;
    ERR2(step(6, A_Err_ALLOC));
    EXPECT_EQ(err, A_Err_ALLOC) << "ERR2 reports its own error when none came before";
}

} // namespace
