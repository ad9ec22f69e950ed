// Callback suites acquired through the basic suite: host handles, the host's C library, worlds
// and pixel formats. Acquire with the numeric version (kPF...Version), not the struct's digit.
#pragma once

#include "AE_Effect.h"
#include "AE_EffectPixelFormat.h"
#include "SPTypes.h"

#ifdef __cplusplus
extern "C" {
#endif

#define kPFHandleSuite "PF Handle Suite"
// Raised to 2 for the 64-bit size type while the struct name stayed.
#define kPFHandleSuiteVersion1 2

typedef struct PF_HandleSuite1 {
    SPAPI PF_Handle (*host_new_handle)(A_HandleSize size);
    SPAPI void* (*host_lock_handle)(PF_Handle pf_handle);
    SPAPI void (*host_unlock_handle)(PF_Handle pf_handle);
    SPAPI void (*host_dispose_handle)(PF_Handle pf_handle);
    SPAPI A_HandleSize (*host_get_handle_size)(PF_Handle pf_handle);
    // The handle's value may change.
    SPAPI PF_Err (*host_resize_handle)(A_HandleSize new_sizeL, PF_Handle* handlePH);
} PF_HandleSuite1;

#define kPFANSISuite "PF ANSI Suite"
#define kPFANSISuiteVersion1 1

// PF_ANSICallbacks without its trailing ansi_procs.
typedef struct PF_ANSICallbacksSuite1 {
    SPAPI A_FpLong (*atan)(A_FpLong);
    SPAPI A_FpLong (*atan2)(A_FpLong y, A_FpLong x);
    SPAPI A_FpLong (*ceil)(A_FpLong);
    SPAPI A_FpLong (*cos)(A_FpLong);
    SPAPI A_FpLong (*exp)(A_FpLong);
    SPAPI A_FpLong (*fabs)(A_FpLong);
    SPAPI A_FpLong (*floor)(A_FpLong);
    SPAPI A_FpLong (*fmod)(A_FpLong x, A_FpLong y);
    SPAPI A_FpLong (*hypot)(A_FpLong x, A_FpLong y);
    SPAPI A_FpLong (*log)(A_FpLong);
    SPAPI A_FpLong (*log10)(A_FpLong);
    SPAPI A_FpLong (*pow)(A_FpLong x, A_FpLong y);
    SPAPI A_FpLong (*sin)(A_FpLong);
    SPAPI A_FpLong (*sqrt)(A_FpLong);
    SPAPI A_FpLong (*tan)(A_FpLong);
    SPAPI int (*sprintf)(A_char* dst, const A_char* fmt, ...);
    SPAPI A_char* (*strcpy)(A_char* dst, const A_char* src);
    SPAPI A_FpLong (*asin)(A_FpLong);
    SPAPI A_FpLong (*acos)(A_FpLong);
} PF_ANSICallbacksSuite1;

#define kPFWorldSuite "PF World Suite"
#define kPFWorldSuiteVersion1 1
#define kPFWorldSuiteVersion2 2

typedef struct PF_WorldSuite1 {
    SPAPI PF_Err (*new_world)(PF_ProgPtr effect_ref, A_long width, A_long height,
                              PF_NewWorldFlags flags, PF_EffectWorld* world);
    SPAPI PF_Err (*dispose_world)(PF_ProgPtr effect_ref, PF_EffectWorld* world);
} PF_WorldSuite1;

typedef struct PF_WorldSuite2 {
    SPAPI PF_Err (*PF_NewWorld)(PF_ProgPtr effect_ref, A_long widthL, A_long heightL,
                                PF_Boolean clear_pixB, PF_PixelFormat pixel_format,
                                PF_EffectWorld* worldP);
    SPAPI PF_Err (*PF_DisposeWorld)(PF_ProgPtr effect_ref, PF_EffectWorld* worldP);
    SPAPI PF_Err (*PF_GetPixelFormat)(const PF_EffectWorld* worldP, PF_PixelFormat* pixel_formatP);
} PF_WorldSuite2;

#ifndef kPFPixelFormatSuite
#define kPFPixelFormatSuite "PF Pixel Format Suite"
#endif
#define kPFPixelFormatSuiteVersion2 2

// Version 1 is Premiere Pro's PF_PixelFormatSuite1 (PrSDKAESupport.h).
typedef struct PF_PixelFormatSuite2 {
    SPAPI PF_Err (*PF_AddSupportedPixelFormat)(PF_ProgPtr effect_ref, PF_PixelFormat pixel_format);
    SPAPI PF_Err (*PF_ClearSupportedPixelFormats)(PF_ProgPtr effect_ref);
} PF_PixelFormatSuite2;

#ifdef __cplusplus
}
#endif
