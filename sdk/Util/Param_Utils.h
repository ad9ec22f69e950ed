// Parameter helpers the SDK keeps outside AE_Effect.h.
#pragma once

#include "AE_Effect.h"

#ifdef __cplusplus
extern "C" {
#endif

enum { PF_ParamFlag_NONE = 0 };

// Decimal places shown by a float slider (PF_FloatSliderDef::precision).
enum {
    PF_Precision_INTEGER = 0,
    PF_Precision_TENTHS,
    PF_Precision_HUNDREDTHS,
    PF_Precision_THOUSANDTHS,
    PF_Precision_TEN_THOUSANDTHS
};
typedef A_short PF_Precision;

#ifdef __cplusplus
}
#endif
