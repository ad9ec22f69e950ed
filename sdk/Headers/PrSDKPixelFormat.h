// Premiere Pro pixel formats, the values shared with After Effects' format codes.
#pragma once

#include "AE_EffectPixelFormat.h"

#ifdef __cplusplus
extern "C" {
#endif

enum PrPixelFormat {
    PrPixelFormat_BGRA_4444_8u = MAKE_PIXEL_FORMAT_FOURCC('b', 'g', 'r', 'a'), // B, G, R, A bytes
    PrPixelFormat_VUYA_4444_8u = MAKE_PIXEL_FORMAT_FOURCC('v', 'u', 'y', 'a'),
    PrPixelFormat_BGRA_4444_16u = MAKE_PIXEL_FORMAT_FOURCC('B', 'g', 'r', 'a'),
    PrPixelFormat_BGRA_4444_32f = MAKE_PIXEL_FORMAT_FOURCC('B', 'G', 'r', 'a'),
    PrPixelFormat_ARGB_4444_8u = MAKE_PIXEL_FORMAT_FOURCC('a', 'r', 'g', 'b'),
    PrPixelFormat_Invalid = MAKE_PIXEL_FORMAT_FOURCC('b', 'a', 'd', 'f'),
    PrPixelFormat_Any = 0
};
typedef enum PrPixelFormat PrPixelFormat;

#ifdef __cplusplus
}
#endif
