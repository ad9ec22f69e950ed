// What the compile-time checks in sdk_layout_check.cpp cannot see: the behaviour of the SDK's
// statement macros.
#include "AE_Effect.h"
#include "AE_Macros.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

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
