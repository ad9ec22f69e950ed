// Effect suites of the current SDK generation. The frozen 64-bit Param Utils suite (numeric
// version 2) is in AE_EffectSuitesOld.h, which this header includes at its end as the SDK's does.
#pragma once

#include "AE_Effect.h"
#include "SPTypes.h"

#ifdef __cplusplus
extern "C" {
#endif

#define kPFParamUtilsSuite "PF Param Utils Suite"
#define kPFParamUtilsSuiteVersion3 3

enum {
    PF_ParamIndex_NONE = -1,
    PF_ParamIndex_CHECK_ALL = -2,
    PF_ParamIndex_CHECK_ALL_EXCEPT_LAYER_PARAMS = -3,
    PF_ParamIndex_CHECK_ALL_HONOR_EXCLUDE = -4
};

// What a parameter (or all of them) and the layers it reads are over a span of time; opaque, to be
// compared with PF_AreStatesIdentical.
typedef struct {
    A_long reserved[4];
} PF_State;

typedef struct PF_ParamUtilsSuite3 {
    // May change only ui_flags, ui_width, ui_height, name, flags and slider limits, precision and
    // display flags; allowed during PF_Cmd_USER_CHANGED_PARAM and PF_Cmd_UPDATE_PARAMS_UI.
    SPAPI PF_Err (*PF_UpdateParamUI)(PF_ProgPtr effect_ref, PF_ParamIndex param_index,
                                     const PF_ParamDef* defP);
    // startPT0 and durationPT0 may be null: the whole time line.
    SPAPI PF_Err (*PF_GetCurrentState)(PF_ProgPtr effect_ref, PF_ParamIndex param_index,
                                       const A_Time* startPT0, const A_Time* durationPT0,
                                       PF_State* stateP);
    SPAPI PF_Err (*PF_AreStatesIdentical)(PF_ProgPtr effect_ref, const PF_State* state1P,
                                          const PF_State* state2P, A_Boolean* samePB);
    GLFX_UncalledProc PF_IsIdenticalCheckout;
    GLFX_UncalledProc PF_FindKeyframeTime;
    GLFX_UncalledProc PF_GetKeyframeCount;
    GLFX_UncalledProc PF_CheckoutKeyframe;
    GLFX_UncalledProc PF_CheckinKeyframe;
    GLFX_UncalledProc PF_KeyIndexToTime;
} PF_ParamUtilsSuite3;

#ifdef __cplusplus
}
#endif

#define GLFX_INCLUDING_AE_EFFECT_SUITES_OLD
#include "AE_EffectSuitesOld.h"
#undef GLFX_INCLUDING_AE_EFFECT_SUITES_OLD
