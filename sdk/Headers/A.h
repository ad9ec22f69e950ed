// Basic types of the After Effects SDK. The layouts of every host record depend on A_long being
// 32 bits wide on every platform, so it is int32_t and never long (64 bits on LP64 Linux).
// On non-Windows platforms these are the types of the SDK's Windows branch.
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t A_long;
typedef uint32_t A_u_long;
typedef short A_short;
typedef unsigned short A_u_short;
typedef char A_char;
typedef unsigned char A_u_char;
typedef unsigned char A_Boolean;
typedef double A_FpLong;
typedef float A_FpShort;
typedef A_long A_Err;
typedef void* A_Handle;
typedef A_long A_Fixed;
typedef A_u_long A_UFixed;
typedef int64_t A_intptr_t;
typedef uint64_t A_u_longlong;
typedef A_u_longlong A_HandleSize;
typedef A_u_short A_UTF16Char;

typedef struct {
    A_long value;
    A_u_long scale;
} A_Time;

typedef struct {
    A_long num;
    A_u_long den;
} A_Ratio;

typedef struct {
    A_long left, top, right, bottom;
} A_LRect;

typedef struct {
    A_long left, top, right, bottom;
} A_Rect;

typedef struct {
    A_FpLong x, y;
} A_FloatPoint;

typedef struct {
    A_FpLong mat[4][4];
} A_Matrix4;

enum {
    A_Err_NONE = 0,
    A_Err_GENERIC = 1,
    A_Err_STRUCT = 2,
    A_Err_PARAMETER = 3,
    A_Err_ALLOC = 4,
    A_Err_MISSING_SUITE = 13
};

// Stands in for suite and callback slots this project never calls: the slot keeps its name and
// its size, without a signature that nothing here could confirm. Not an SDK name.
typedef void (*GLFX_UncalledProc)(void);

#ifdef __cplusplus
}
#endif
