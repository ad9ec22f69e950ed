// Frozen effect suites the SDK keeps for older hosts. Part of AE_EffectSuites.h, which includes it
// once; like the SDK's, it stops any other inclusion.
#ifndef GLFX_INCLUDING_AE_EFFECT_SUITES_OLD
#error "AE_EffectSuitesOld.h is part of AE_EffectSuites.h: include AE_EffectSuites.h instead"
#endif

#ifdef __cplusplus
extern "C" {
#endif

// Numeric version 2: the 64-bit suite, frozen in AE 10.0.
#define kPFParamUtilsSuiteVersion1 2

typedef struct PF_ParamUtilsSuite1 {
    // Same rules as PF_ParamUtilsSuite3's.
    SPAPI PF_Err (*PF_UpdateParamUI)(PF_ProgPtr effect_ref, PF_ParamIndex param_index,
                                     const PF_ParamDef* defP);
    GLFX_UncalledProc PF_GetCurrentStateObsolete;
    GLFX_UncalledProc PF_HasParamChangedObsolete;
    GLFX_UncalledProc PF_HaveInputsChangedOverTimeSpanObsolete;
    GLFX_UncalledProc PF_IsIdenticalCheckout;
    GLFX_UncalledProc PF_FindKeyframeTime;
    GLFX_UncalledProc PF_GetKeyframeCount;
    GLFX_UncalledProc PF_CheckoutKeyframe;
    GLFX_UncalledProc PF_CheckinKeyframe;
    GLFX_UncalledProc PF_KeyIndexToTime;
} PF_ParamUtilsSuite1;

#ifdef __cplusplus
}
#endif
