// Frozen AEGP suite versions. Each keeps the slot order of its numeric version; slots after the
// ones an effect calls are declared by name only.
// No include guard, as in the SDK: AE_GeneralPlug.h includes it once, and any other inclusion
// stops here rather than at the records it would declare twice.
#ifndef GLFX_INCLUDING_AE_GENERAL_PLUG_OLD
#error "AE_GeneralPlugOld.h is part of AE_GeneralPlug.h: include AE_GeneralPlug.h instead"
#endif

#ifdef __cplusplus
extern "C" {
#endif

// Numeric version 7, frozen in AE 6.5.
#define kAEGPUtilitySuiteVersion3 7

typedef struct AEGP_UtilitySuite3 {
    SPAPI A_Err (*AEGP_ReportInfo)(AEGP_PluginID aegp_plugin_id, const A_char* info_stringZ);
    SPAPI A_Err (*AEGP_GetDriverPluginInitFuncVersion)(A_short* major_versionPS,
                                                       A_short* minor_versionPS);
    SPAPI A_Err (*AEGP_GetDriverImplementationVersion)(A_short* major_versionPS,
                                                       A_short* minor_versionPS);
    SPAPI A_Err (*AEGP_StartQuietErrors)(AEGP_ErrReportState* err_stateP);
    SPAPI A_Err (*AEGP_EndQuietErrors)(A_Boolean report_quieted_errorsB,
                                       AEGP_ErrReportState* err_stateP);
    SPAPI A_Err (*AEGP_StartUndoGroup)(const A_char* undo_nameZ);
    SPAPI A_Err (*AEGP_EndUndoGroup)(void);
    // plugin_nameZ: at most AEGP_MAX_PLUGIN_NAME_SIZE bytes with its NUL.
    SPAPI A_Err (*AEGP_RegisterWithAEGP)(AEGP_GlobalRefcon global_refcon,
                                         const A_char* plugin_nameZ, AEGP_PluginID* plugin_id);
    SPAPI A_Err (*AEGP_GetMainHWND)(void* main_hwnd);
    GLFX_UncalledProc AEGP_ShowHideAllFloaters;
    GLFX_UncalledProc AEGP_PaintPalGetForeColor;
    GLFX_UncalledProc AEGP_PaintPalGetBackColor;
    GLFX_UncalledProc AEGP_PaintPalSetForeColor;
    GLFX_UncalledProc AEGP_PaintPalSetBackColor;
    GLFX_UncalledProc AEGP_CharPalGetFillColor;
    GLFX_UncalledProc AEGP_CharPalGetStrokeColor;
    GLFX_UncalledProc AEGP_CharPalSetFillColor;
    GLFX_UncalledProc AEGP_CharPalSetStrokeColor;
    GLFX_UncalledProc AEGP_CharPalIsFillColorUIFrontmost;
    GLFX_UncalledProc AEGP_ConvertFpLongToHSFRatio;
    GLFX_UncalledProc AEGP_ConvertHSFRatioToFpLong;
    GLFX_UncalledProc AEGP_CauseIdleRoutinesToBeCalled;
    GLFX_UncalledProc AEGP_GetSuppressInteractiveUI;
    GLFX_UncalledProc AEGP_WriteToOSConsole;
    GLFX_UncalledProc AEGP_WriteToDebugLog;
} AEGP_UtilitySuite3;

// Numeric version 7, frozen in AE 6.5.
#define kAEGPStreamSuiteVersion2 7

typedef struct AEGP_StreamSuite2 {
    SPAPI A_Err (*AEGP_IsStreamLegal)(AEGP_LayerH layerH, AEGP_LayerStream which_stream,
                                      A_Boolean* is_legalP);
    SPAPI A_Err (*AEGP_CanVaryOverTime)(AEGP_StreamRefH streamH, A_Boolean* can_varyPB);
    SPAPI A_Err (*AEGP_GetValidInterpolations)(AEGP_StreamRefH streamH,
                                               AEGP_KeyInterpolationMask* valid_interpP);
    SPAPI A_Err (*AEGP_GetNewLayerStream)(AEGP_PluginID aegp_plugin_id, AEGP_LayerH layerH,
                                          AEGP_LayerStream which_stream, AEGP_StreamRefH* streamPH);
    SPAPI A_Err (*AEGP_GetEffectNumParamStreams)(AEGP_EffectRefH effect_refH, A_long* num_paramsPL);
    // param_index 0 is the input layer; the caller disposes of the stream.
    SPAPI A_Err (*AEGP_GetNewEffectStreamByIndex)(AEGP_PluginID aegp_plugin_id,
                                                  AEGP_EffectRefH effect_refH,
                                                  PF_ParamIndex param_index,
                                                  AEGP_StreamRefH* streamPH);
    SPAPI A_Err (*AEGP_GetNewMaskStream)(AEGP_PluginID aegp_plugin_id, AEGP_MaskRefH mask_refH,
                                         AEGP_MaskStream which_stream,
                                         AEGP_StreamRefH* mask_streamPH);
    SPAPI A_Err (*AEGP_DisposeStream)(AEGP_StreamRefH streamH);
    SPAPI A_Err (*AEGP_GetStreamName)(AEGP_StreamRefH streamH, A_Boolean force_englishB,
                                      A_char* nameZ);
    GLFX_UncalledProc AEGP_GetStreamUnitsText;
    GLFX_UncalledProc AEGP_GetStreamProperties;
    GLFX_UncalledProc AEGP_IsStreamTimevarying;
    GLFX_UncalledProc AEGP_GetStreamType;
    GLFX_UncalledProc AEGP_GetNewStreamValue;
    GLFX_UncalledProc AEGP_DisposeStreamValue;
    GLFX_UncalledProc AEGP_SetStreamValue;
    GLFX_UncalledProc AEGP_GetLayerStreamValue;
    GLFX_UncalledProc AEGP_GetExpressionState;
    GLFX_UncalledProc AEGP_SetExpressionState;
    GLFX_UncalledProc AEGP_GetExpression;
    GLFX_UncalledProc AEGP_SetExpression;
    GLFX_UncalledProc AEGP_DuplicateStreamRef;
} AEGP_StreamSuite2;

// Frozen in AE 6.5.
#define kAEGPDynamicStreamSuiteVersion2 2

typedef struct AEGP_DynamicStreamSuite2 {
    SPAPI A_Err (*AEGP_GetNewStreamRefForLayer)(AEGP_PluginID aegp_plugin_id, AEGP_LayerH layerH,
                                                AEGP_StreamRefH* streamPH);
    GLFX_UncalledProc AEGP_GetStreamDepth;
    GLFX_UncalledProc AEGP_GetStreamGroupingType;
    GLFX_UncalledProc AEGP_GetNumStreamsInGroup;
    SPAPI A_Err (*AEGP_GetDynamicStreamFlags)(AEGP_StreamRefH streamH,
                                              AEGP_DynStreamFlags* stream_flagsP);
    // Without undo only AEGP_DynStreamFlag_HIDDEN may be changed.
    SPAPI A_Err (*AEGP_SetDynamicStreamFlag)(AEGP_StreamRefH streamH, AEGP_DynStreamFlags one_flag,
                                             A_Boolean undoableB, A_Boolean setB);
    GLFX_UncalledProc AEGP_GetNewStreamRefByIndex;
    GLFX_UncalledProc AEGP_GetNewStreamRefByMatchname;
    GLFX_UncalledProc AEGP_DeleteStream;
    GLFX_UncalledProc AEGP_ReorderStream;
    GLFX_UncalledProc AEGP_DuplicateStream;
    GLFX_UncalledProc AEGP_SetStreamName;
    GLFX_UncalledProc AEGP_CanAddStream;
    GLFX_UncalledProc AEGP_AddStream;
    GLFX_UncalledProc AEGP_GetMatchName;
    GLFX_UncalledProc AEGP_GetNewParentStreamRef;
    GLFX_UncalledProc AEGP_GetStreamIsModified;
} AEGP_DynamicStreamSuite2;

// Frozen in AE 6.5.
#define kAEGPEffectSuiteVersion2 2

typedef struct AEGP_EffectSuite2 {
    SPAPI A_Err (*AEGP_GetLayerNumEffects)(AEGP_LayerH layerH, A_long* num_effectsPL);
    SPAPI A_Err (*AEGP_GetLayerEffectByIndex)(AEGP_PluginID aegp_plugin_id, AEGP_LayerH layerH,
                                              AEGP_EffectIndex layer_effect_index,
                                              AEGP_EffectRefH* effectPH);
    GLFX_UncalledProc AEGP_GetInstalledKeyFromLayerEffect;
    SPAPI A_Err (*AEGP_GetEffectParamUnionByIndex)(AEGP_PluginID aegp_plugin_id,
                                                   AEGP_EffectRefH effectH,
                                                   PF_ParamIndex param_index,
                                                   PF_ParamType* param_typeP,
                                                   PF_ParamDefUnion* uP0);
    GLFX_UncalledProc AEGP_GetEffectFlags;
    GLFX_UncalledProc AEGP_SetEffectFlags;
    GLFX_UncalledProc AEGP_ReorderEffect;
    // Version 3 on inserts a PF_Cmd before `extraPV`.
    SPAPI A_Err (*AEGP_EffectCallGeneric)(AEGP_PluginID aegp_plugin_id, AEGP_EffectRefH effectH,
                                          const A_Time* timePT, void* extraPV);
    SPAPI A_Err (*AEGP_DisposeEffect)(AEGP_EffectRefH effectH);
    GLFX_UncalledProc AEGP_ApplyEffect;
    GLFX_UncalledProc AEGP_DeleteLayerEffect;
    GLFX_UncalledProc AEGP_GetNumInstalledEffects;
    GLFX_UncalledProc AEGP_GetNextInstalledEffect;
    GLFX_UncalledProc AEGP_GetEffectName;
    GLFX_UncalledProc AEGP_GetEffectMatchName;
    GLFX_UncalledProc AEGP_GetEffectCategory;
    GLFX_UncalledProc AEGP_DuplicateEffect;
} AEGP_EffectSuite2;

#ifdef __cplusplus
}
#endif
