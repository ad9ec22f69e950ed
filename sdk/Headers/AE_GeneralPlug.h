// AEGP (project-level) types and the PF Interface suite that links an effect instance to the
// project. The frozen suite versions an effect uses from After Effects 6.5 on are in
// AE_GeneralPlugOld.h, which this header includes at its end as the SDK's does. Premiere Pro
// offers none of these suites.
#pragma once

#include "AE_Effect.h"
#include "SPTypes.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef A_long AEGP_PluginID;
typedef struct _AEGP_Effect** AEGP_EffectRefH;
typedef struct _AEGPp_Stream** AEGP_StreamRefH; // sic: the SDK's tag is _AEGPp_Stream
typedef struct _AEGP_Layer** AEGP_LayerH;
typedef struct _AEGP_MaskRef** AEGP_MaskRefH;
typedef struct _AEGP_GlobalRefcon* AEGP_GlobalRefcon;
typedef struct _Up_OpaqueMem** AEGP_MemHandle;

typedef A_long AEGP_LayerStream;
typedef A_long AEGP_MaskStream;
typedef A_long AEGP_KeyInterpolationMask;
typedef A_long AEGP_EffectIndex;

typedef A_u_long AEGP_DynStreamFlags;

enum {
    AEGP_DynStreamFlag_ACTIVE_EYEBALL = 1 << 0,
    // Without undo this is the only flag AEGP_SetDynamicStreamFlag accepts.
    AEGP_DynStreamFlag_HIDDEN = 1 << 1,
    AEGP_DynStreamFlag_DISABLED = 1 << 4,
    AEGP_DynStreamFlag_ELIDED = 1 << 5,
    AEGP_DynStreamFlag_SHOWN_WHEN_EMPTY = 1 << 10,
    AEGP_DynStreamFlag_SKIP_REVEAL_WHEN_UNHIDDEN = 1 << 16
};

typedef struct {
    A_long reservedAL[12];
} AEGP_ErrReportState;

#define AEGP_MAX_PLUGIN_NAME_SIZE 32
#define AEGP_MAX_EFFECT_MATCH_NAME_SIZE 48

#define kAEGPPFInterfaceSuite "AEGP PF Interface Suite"
#define kAEGPPFInterfaceSuiteVersion1 1

typedef struct AEGP_PFInterfaceSuite1 {
    SPAPI A_Err (*AEGP_GetEffectLayer)(PF_ProgPtr effect_ref, AEGP_LayerH* layerPH);
    // The caller disposes of the effect with AEGP_DisposeEffect.
    SPAPI A_Err (*AEGP_GetNewEffectForEffect)(AEGP_PluginID aegp_plugin_id, PF_ProgPtr effect_ref,
                                              AEGP_EffectRefH* effect_refPH);
    SPAPI A_Err (*AEGP_ConvertEffectToCompTime)(PF_ProgPtr effect_ref, A_long what_time,
                                                A_u_long time_scale, A_Time* comp_timePT);
    SPAPI A_Err (*AEGP_GetEffectCamera)(PF_ProgPtr effect_ref, const A_Time* comp_timePT,
                                        AEGP_LayerH* camera_layerPH);
    SPAPI A_Err (*AEGP_GetEffectCameraMatrix)(PF_ProgPtr effect_ref, const A_Time* comp_timePT,
                                              A_Matrix4* camera_matrixP, A_FpLong* dst_to_planePF,
                                              A_short* plane_widthPL, A_short* plane_heightPL);
} AEGP_PFInterfaceSuite1;

#define kAEGPUtilitySuite "AEGP Utility Suite"
#define kAEGPStreamSuite "AEGP Stream Suite"
#define kAEGPDynamicStreamSuite "AEGP Dynamic Stream Suite"
#define kAEGPEffectSuite "AEGP Effect Suite"

#ifdef __cplusplus
}
#endif

#define GLFX_INCLUDING_AE_GENERAL_PLUG_OLD
#include "AE_GeneralPlugOld.h"
#undef GLFX_INCLUDING_AE_GENERAL_PLUG_OLD
