// PICA basic types. SPBoolean is the Windows branch's int (one byte on the Mac).
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// One calling convention on x64, so SPAPI adds nothing.
#define SPAPI

typedef int SPErr;
typedef int SPBoolean;

// Four-character codes are written as numbers: multi-character literals draw -Wmultichar.
#define kSPNoError ((SPErr)0)
#define kSPUnimplementedError ((SPErr)0x21494D50) /* '!IMP' */

#ifdef __cplusplus
}
#endif
