// The basic suite: the host hands out every other suite through it (in_data->pica_basicP).
#pragma once

#include <stddef.h>

#include "SPTypes.h"

#ifdef __cplusplus
extern "C" {
#endif

#define kSPBasicSuite "SP Basic Suite"
#define kSPBasicSuiteVersion 4

typedef struct SPBasicSuite {
    // `version` is the suite's numeric version, not the digit in its struct name.
    SPAPI SPErr (*AcquireSuite)(const char* name, int version, const void** suite);
    SPAPI SPErr (*ReleaseSuite)(const char* name, int version);
    SPAPI SPBoolean (*IsEqual)(const char* token1, const char* token2);
    SPAPI SPErr (*AllocateBlock)(size_t size, void** block);
    SPAPI SPErr (*FreeBlock)(void* block);
    SPAPI SPErr (*ReallocateBlock)(void* block, size_t newSize, void** newblock);
    SPAPI SPErr (*Undefined)(void);
} SPBasicSuite;

#ifdef __cplusplus
}
#endif
