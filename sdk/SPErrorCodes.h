// PICA error codes a host answers suite requests with.
#pragma once

#include "SPTypes.h"

#define kSPSuiteNotFoundError ((SPErr)0x53214664) /* 'S!Fd' */
#define kSPBadParameterError ((SPErr)0x5061726D)  /* 'Parm' */
#define kSPOutOfMemoryError ((SPErr)-108)         /* 0xFFFFFF6C */
