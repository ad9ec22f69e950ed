// 16.16 fixed-point conversions and the error-chaining helpers of the SDK.
#pragma once

#include "AE_Effect.h"

#define A_Fixed_ONE ((A_Fixed)0x00010000L)
#define A_Fixed_HALF ((A_Fixed)0x00008000L)
#define PF_Fixed_MINVAL ((PF_Fixed)(-0x7FFFFFFF - 1))
#define PF_Fixed_MAXVAL ((PF_Fixed)0x7FFFFFFF)

// Shifts through the unsigned type: a negative value shifted left is undefined in C++17, and
// negative positions and point defaults are ordinary.
#define INT2FIX(X) ((A_long)((A_u_long)(A_long)(X) << 16))
#define FIX2INT(X) ((A_long)(X) >> 16) /* rounds toward minus infinity */
#define FIX2INT_ROUND(X) (FIX2INT((X) + 32768))
#define FIX_2_FLOAT(X) ((A_FpLong)(X) / 65536.0)
// Rounds half away from zero.
#define FLOAT2FIX(F) ((PF_Fixed)(65536 * (F) + (((F) < 0) ? -0.5 : 0.5)))

#define RATIO2FLOAT(R) ((A_FpLong)(R).num / (A_FpLong)(R).den)
#define CONVERT8TO16(A) ((PF_MAX_CHAN16 * (A_long)(A) + PF_HALF_CHAN8) / PF_MAX_CHAN8)

#define DH(H) (*(H))

// Both expect an A_Err/PF_Err named `err`; ERR2 also one named `err2`.
// ERR runs FUNC only while no error has occurred.
#define ERR(FUNC)                                                                                  \
    do {                                                                                           \
        if (!err) {                                                                                \
            err = (FUNC);                                                                          \
        }                                                                                          \
    } while (0)
// ERR2 always runs FUNC (clean-up) and keeps the first error.
#define ERR2(FUNC)                                                                                 \
    do {                                                                                           \
        if (((err2 = (FUNC)) != A_Err_NONE) && !err) {                                             \
            err = err2;                                                                            \
        }                                                                                          \
    } while (0)

// Zeroes every byte, padding included, without needing <string.h>.
#define AEFX_CLR_STRUCT(STRUCT)                                                                    \
    do {                                                                                           \
        size_t aefx_clr_n = sizeof(STRUCT);                                                        \
        A_u_char* aefx_clr_p = (A_u_char*)&(STRUCT);                                               \
        while (aefx_clr_n--) {                                                                     \
            *aefx_clr_p++ = 0;                                                                     \
        }                                                                                          \
    } while (0)
