// Premiere Pro's pixel-format suite for After Effects effects: lets an effect declare the formats
// it renders during global set-up. 8-bit ARGB is the implicit, lowest-priority default.
#pragma once

#include "AE_Effect.h"
#include "PrSDKPixelFormat.h"
#include "SPTypes.h"

#ifdef __cplusplus
extern "C" {
#endif

#ifndef kPFPixelFormatSuite
#define kPFPixelFormatSuite "PF Pixel Format Suite"
#endif
#define kPFPixelFormatSuiteVersion1 1

typedef struct PF_PixelFormatSuite1 {
    SPAPI PF_Err (*AddSupportedPixelFormat)(PF_ProgPtr effect_ref, PrPixelFormat pixelFormat);
    SPAPI PF_Err (*ClearSupportedPixelFormats)(PF_ProgPtr effect_ref);
    // Not implemented by the host.
    SPAPI PF_Err (*NewWorldOfPixelFormat)(PF_ProgPtr effect_ref, A_u_long width, A_u_long height,
                                          PF_NewWorldFlags flags, PrPixelFormat pixelFormat,
                                          PF_EffectWorld* world);
    // Not implemented by the host.
    SPAPI PF_Err (*DisposeWorld)(PF_ProgPtr effect_ref, PF_EffectWorld* world);
    SPAPI PF_Err (*GetPixelFormat)(PF_EffectWorld* inWorld, PrPixelFormat* pixelFormat);
    SPAPI PF_Err (*GetBlackForPixelFormat)(PrPixelFormat pixelFormat, void* pixelData);
    SPAPI PF_Err (*GetWhiteForPixelFormat)(PrPixelFormat pixelFormat, void* pixelData);
    SPAPI PF_Err (*ConvertColorToPixelFormattedData)(PrPixelFormat pixelFormat, float alpha,
                                                     float red, float green, float blue,
                                                     void* pixelData);
} PF_PixelFormatSuite1;

#ifdef __cplusplus
}
#endif
