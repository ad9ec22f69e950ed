// Platform selection. Unlike the SDK's, this accepts platforms other than Windows and macOS and
// defines neither macro there, so code keyed on AE_OS_WIN takes its portable branch.
#pragma once

#if defined(_WIN32)
#define AE_OS_WIN
#elif defined(__APPLE__)
#define AE_OS_MAC
#endif
