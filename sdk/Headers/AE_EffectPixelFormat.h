// Pixel formats of effect worlds. A format code is a four-character code whose bytes in memory
// spell the letters: FOURCC('a','r','g','b') is 0x62677261, not the literal 'argb' (0x61726762).
#pragma once

#include "A.h"

#ifdef __cplusplus
extern "C" {
#endif

#ifndef MAKE_PIXEL_FORMAT_FOURCC
#define MAKE_PIXEL_FORMAT_FOURCC(C0, C1, C2, C3)                                                   \
    ((A_u_long)(A_u_char)(C0) | ((A_u_long)(A_u_char)(C1) << 8) |                                  \
     ((A_u_long)(A_u_char)(C2) << 16) | ((A_u_long)(A_u_char)(C3) << 24))
#endif

typedef A_long PF_PixelFormat;

enum {
    PF_PixelFormat_ARGB32 = MAKE_PIXEL_FORMAT_FOURCC('a', 'r', 'g', 'b'),  // 8 bpc, 0-255
    PF_PixelFormat_ARGB64 = MAKE_PIXEL_FORMAT_FOURCC('a', 'e', '1', '6'),  // 16 bpc, 0-32768
    PF_PixelFormat_ARGB128 = MAKE_PIXEL_FORMAT_FOURCC('a', 'e', '3', '2'), // 32-bit float
    PF_PixelFormat_BGRA32 = MAKE_PIXEL_FORMAT_FOURCC('b', 'g', 'r', 'a'),  // Premiere Pro
    PF_PixelFormat_VUYA32 = MAKE_PIXEL_FORMAT_FOURCC('v', 'u', 'y', 'a'),  // Premiere Pro
    PF_PixelFormat_NTSCDV25 = MAKE_PIXEL_FORMAT_FOURCC('d', 'v', 'n', '2'),
    PF_PixelFormat_PALDV25 = MAKE_PIXEL_FORMAT_FOURCC('d', 'v', 'p', '2'),
    PF_PixelFormat_INVALID = MAKE_PIXEL_FORMAT_FOURCC('b', 'a', 'd', 'f'),
    // 0xFFFFFFFF in the SDK; written as its A_long value so that the enumeration stays a signed
    // type that compares with PF_PixelFormat without sign warnings.
    PF_PixelFormat_FORCE_LONG_INT = -1
};

#ifdef __cplusplus
}
#endif
