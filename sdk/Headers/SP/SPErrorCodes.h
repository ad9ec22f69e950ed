// PICA error codes a host answers suite requests with.
#pragma once

#include "SPTypes.h"

#define kSPSuiteNotFoundError ((SPErr)0x53214664) /* 'S!Fd' */
#define kSPBadParameterError ((SPErr)0x5061726D)  /* 'Parm' */
// 0xFFFFFF6C is -148, whatever the SDK's comment beside it says (-108).
#define kSPOutOfMemoryError ((SPErr)0xFFFFFF6C)
