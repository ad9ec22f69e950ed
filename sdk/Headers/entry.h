// Marks the entry point for export. Plug-ins are built with hidden visibility, so this is what
// makes the entry point the one exported symbol on ELF and Mach-O.
#pragma once

#include "AEConfig.h"

#ifdef AE_OS_WIN
#define DllExport __declspec(dllexport)
#else
#define DllExport __attribute__((visibility("default")))
#endif
