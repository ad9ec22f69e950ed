// Compile-time proof that the SDK headers the build uses keep the host's binary layout on x64
// (Windows LLP64 and Linux LP64 alike) where the plug-in reads, writes or calls it, and the values
// the plug-in relies on: of the callback tables and suites, the slots it calls. Nothing here runs.
//
// It sits outside sdk/ so that it checks whichever headers the build finds: our own, or the
// SDK's when the Windows build names them (GLFX_AE_SDK_DIR). Only these checks are left out then,
// each for the reason given where it stands:
// - the Windows-branch types (the SDK's macOS branch uses the toolbox types instead);
// - constant names the project chose where no header text was at hand;
// - INT2FIX of negative values as a constant (the SDK's shifts the signed value).

#include "AE_Effect.h"
#include "AE_EffectCB.h"
#include "AE_EffectCBSuites.h"
#include "AE_EffectPixelFormat.h"
#include "AE_EffectSuites.h"
#include "AE_GeneralPlug.h"
#include "AE_Macros.h"
#include "A.h"
#include "Param_Utils.h"
#include "PrSDKAESupport.h"
#include "PrSDKPixelFormat.h"
#include "SPBasic.h"
#include "SPErrorCodes.h"
#include "SPPiPL.h"
#include "SPTypes.h"
#include "entry.h"

#include <cstddef>
#include <cstdint>
#include <type_traits>

#if !defined(GLFX_REAL_AE_SDK) || defined(_WIN32)
#define GLFX_CHECK_WINDOWS_BRANCH 1
#endif

// LAYOUT(T, facts) holds when every fact about the record R = T does: SIZE(n), AT(member, offset),
// and SLOTS(O(member), ...) for a table of 8-byte pointers in that order from offset 0 (SLOTS_AT
// from another offset). A failure names the record.
// clang-format off
#define LAYOUT(T, ...) static_assert([] { using R = T; return __VA_ARGS__; }(), #T " layout")
// clang-format on
#define SIZE(N) (sizeof(R) == (N))
#define AT(M, OFF) (offsetof(R, M) == (OFF))
#define O(M) offsetof(R, M)
#define SLOTS(...) SLOTS_AT(0, __VA_ARGS__)
#define SLOTS_AT(OFF, ...) slotsFrom(OFF, {__VA_ARGS__})

template <size_t N> constexpr bool slotsFrom(size_t first, const size_t (&offsets)[N]) {
    for (size_t i = 0; i < N; ++i)
        if (offsets[i] != first + 8 * i) return false;
    return true;
}
// Types of one size.
template <size_t N, typename... T> constexpr bool sized = ((sizeof(T) == N) && ...);

static_assert(sizeof(void*) == 8, "the host is 64-bit");

// ---- Basic types -----------------------------------------------------------------------------

static_assert(std::is_same<A_long, int32_t>::value, "A_long is 32-bit on every platform");
static_assert(std::is_same<A_u_long, uint32_t>::value, "A_u_long is 32-bit on every platform");
static_assert(sized<1, A_char, A_u_char, A_Boolean, PF_Boolean>, "1-byte types");
static_assert(sized<2, A_short, A_u_short, A_UTF16Char, PF_ValueDisplayFlags, PF_SoundFormat,
                    PF_SoundSampleSize, PF_SoundChannels, PF_RenderOutputFlags>,
              "2-byte types");
static_assert(sized<4, A_FpShort, A_Err, A_Fixed, A_UFixed, PF_Fixed, PF_UFixed, PF_FpShort, PF_Err,
                    PF_Cmd, PF_ParamIndex, PF_ParamValue, PF_ParamType, PF_ParamFlags,
                    PF_ParamUIFlags, PF_ChangeFlags, PF_Quality, PF_Field, PF_ModeFlags,
                    PF_WorldFlags, PF_OutFlags, PF_OutFlags2, PF_InFlags, PF_Stage, PF_PixelFormat,
                    PF_ChannelMask, PF_GPU_Framework, PF_NewWorldFlags, PF_FSliderFlags,
                    PF_KernelFlags, PF_SampleEdgeBehav, PF_Plane, PF_SpecVersion, PF_PixLong, SPErr,
                    AEGP_PluginID, AEGP_DynStreamFlags, PrPixelFormat, PIType>,
              "4-byte types");
static_assert(
    sized<8, A_FpLong, A_Handle, A_intptr_t, A_u_longlong, A_HandleSize, A_Time, A_Ratio, PF_Handle,
          PF_FpLong, PF_ProgPtr, PF_Point, PF_RationalScale, PF_FixedPoint, PF_ParamList,
          AEGP_EffectRefH, AEGP_StreamRefH, AEGP_LayerH, AEGP_GlobalRefcon, AEGP_MemHandle>,
    "8-byte types");
static_assert(sized<16, A_LRect, A_Rect, A_FloatPoint, PF_LRect, PF_Rect, PF_UnionableRect,
                    PF_FixedRect, PF_State>,
              "16-byte types");
static_assert(sizeof(A_Matrix4) == 128 && sizeof(AEGP_ErrReportState) == 48 &&
                  sizeof(PF_ColorCallbacks) == 64,
              "larger records");

#ifdef GLFX_CHECK_WINDOWS_BRANCH
static_assert(std::is_same<PF_Boolean, char>::value, "PF_Boolean is plain char");
static_assert(std::is_same<PF_Handle, void**>::value, "PF_Handle is void**");
static_assert(std::is_same<PF_Fixed, A_long>::value, "PF_Fixed is A_long");
static_assert(sizeof(SPBoolean) == 4, "SPBoolean is 4 bytes");
#endif
static_assert(alignof(PF_RationalScale) == 4, "PF_RationalScale packs at 4");

// ---- SPBasicSuite ----------------------------------------------------------------------------

LAYOUT(SPBasicSuite, SIZE(56) && SLOTS(O(AcquireSuite), O(ReleaseSuite)));

// ---- PF_InData -------------------------------------------------------------------------------

LAYOUT(PF_InData, SIZE(408) && AT(inter, 0) && AT(utils, 176) && AT(effect_ref, 184) &&
                      AT(appl_id, 204) && AT(current_time, 224) && AT(time_step, 228) &&
                      AT(time_scale, 240) && AT(downsample_x, 284) && AT(downsample_y, 292) &&
                      AT(pixel_aspect_ratio, 300) && AT(global_data, 312) &&
                      AT(sequence_data, 320) && AT(pica_basicP, 384));

// ---- PF_OutData ------------------------------------------------------------------------------

LAYOUT(PF_OutData, SIZE(408) && AT(my_version, 0) && AT(name, 4) && sizeof(R::name) == 32 &&
                       AT(global_data, 40) && AT(num_params, 48) && AT(sequence_data, 56) &&
                       AT(flat_sdata_size, 64) && AT(out_flags, 96) && AT(return_msg, 100) &&
                       sizeof(R::return_msg) == 256 && AT(out_flags2, 400));

// ---- PF_ParamDef and its union ---------------------------------------------------------------

LAYOUT(PF_ParamDef, SIZE(176) && AT(uu, 0) && AT(ui_flags, 4) && AT(ui_width, 8) &&
                        AT(ui_height, 10) && AT(param_type, 12) && AT(name, 16) &&
                        sizeof(R::name) == 32 && AT(flags, 48) && AT(unused, 52) && AT(u, 56));

static_assert(sizeof(PF_ParamDefUnion) == 120 && alignof(PF_ParamDefUnion) == 8,
              "PF_ParamDefUnion");

LAYOUT(PF_FloatSliderDef, SIZE(88) && AT(value, 0) && AT(phase, 8) && AT(value_desc, 16) &&
                              AT(valid_min, 48) && AT(valid_max, 52) && AT(slider_min, 56) &&
                              AT(slider_max, 60) && AT(dephault, 64) && AT(precision, 68) &&
                              AT(display_flags, 70) && AT(fs_flags, 72) &&
                              AT(curve_tolerance, 76) && AT(useExponent, 80) && AT(exponent, 84));
static_assert(std::is_same<decltype(PF_FloatSliderDef::value), PF_FpLong>::value, "double value");
static_assert(std::is_same<decltype(PF_FloatSliderDef::dephault), PF_FpShort>::value,
              "float default");

LAYOUT(PF_CheckBoxDef, SIZE(16) && AT(value, 0) && AT(dephault, 4) && AT(reserved, 5) &&
                           AT(reserved1, 6) && AT(u, 8));
LAYOUT(PF_PopupDef, SIZE(16) && AT(value, 0) && AT(num_choices, 4) && AT(dephault, 6) && AT(u, 8));
LAYOUT(PF_ColorDef, SIZE(8) && AT(value, 0) && AT(dephault, 4));
LAYOUT(PF_AngleDef,
       SIZE(16) && AT(value, 0) && AT(dephault, 4) && AT(valid_min, 8) && AT(valid_max, 12));
LAYOUT(PF_PointDef, SIZE(20) && AT(x_value, 0) && AT(y_value, 4) && AT(reserved, 8) &&
                        AT(restrict_bounds, 11) && AT(x_dephault, 12) && AT(y_dephault, 16));
LAYOUT(PF_SliderDef, SIZE(88) && AT(value, 0) && AT(value_str, 4) && AT(value_desc, 36) &&
                         AT(valid_min, 68) && AT(valid_max, 72) && AT(slider_min, 76) &&
                         AT(slider_max, 80) && AT(dephault, 84));
LAYOUT(PF_FixedSliderDef, SIZE(92) && AT(value, 0) && AT(value_str, 4) && AT(value_desc, 36) &&
                              AT(valid_min, 68) && AT(valid_max, 72) && AT(slider_min, 76) &&
                              AT(slider_max, 80) && AT(dephault, 84) && AT(precision, 88) &&
                              AT(display_flags, 90));
LAYOUT(PF_UserChangedParamExtra, SIZE(4) && AT(param_index, 0));

// ---- Worlds and pixels -----------------------------------------------------------------------

static_assert(std::is_same<PF_EffectWorld, PF_LayerDef>::value, "one record, two names");
LAYOUT(PF_LayerDef, SIZE(120) && AT(data, 24) && AT(rowbytes, 32) && AT(width, 36) &&
                        AT(height, 40) && AT(dephault, 116));

LAYOUT(PF_Pixel, SIZE(4) && AT(alpha, 0) && AT(red, 1) && AT(green, 2) && AT(blue, 3));
LAYOUT(PF_Pixel16, SIZE(8) && AT(alpha, 0) && AT(red, 2) && AT(green, 4) && AT(blue, 6));
LAYOUT(PF_PixelFloat, SIZE(16) && AT(alpha, 0) && AT(red, 4) && AT(green, 8) && AT(blue, 12));
static_assert(std::is_same<PF_Pixel8, PF_Pixel>::value, "PF_Pixel8 is PF_Pixel");
static_assert(std::is_same<PF_Pixel32, PF_PixelFloat>::value, "PF_Pixel32 is PF_PixelFloat");

// ---- PF_InteractCallbacks --------------------------------------------------------------------

LAYOUT(PF_InteractCallbacks, SIZE(176) && SLOTS(O(checkout_param), O(checkin_param), O(add_param),
                                                O(abort), O(progress)));

// ---- PF_UtilCallbacks and the embedded ANSI table: the handle and string calls ----------------

LAYOUT(PF_UtilCallbacks, SIZE(552) && AT(host_new_handle, 160) && AT(host_dispose_handle, 184) &&
                             AT(ansi, 208) && AT(host_get_handle_size, 440) &&
                             AT(host_resize_handle, 464));
static_assert(std::is_same<decltype(PF_InData::utils), PF_UtilCallbacks*>::value,
              "in_data->utils is the tagged utility record");

LAYOUT(PF_ANSICallbacks, SIZE(160) && AT(sprintf, 120) && AT(strcpy, 128));

// ---- Smart render ----------------------------------------------------------------------------

LAYOUT(PF_RenderRequest, SIZE(44) && alignof(R) == 4);

LAYOUT(PF_PreRenderInput, AT(output_request, 0) && AT(bitdepth, 44));
LAYOUT(PF_PreRenderOutput, SIZE(56) && AT(result_rect, 0) && AT(max_result_rect, 16));
LAYOUT(PF_PreRenderExtra, SIZE(24) && AT(input, 0) && AT(output, 8) && AT(cb, 16));
LAYOUT(PF_CheckoutResult, SIZE(76) && alignof(R) == 4 && AT(result_rect, 0));
LAYOUT(PF_PreRenderCallbacks, SIZE(16) && AT(checkout_layer, 0));

LAYOUT(PF_SmartRenderInput, AT(output_request, 0) && AT(bitdepth, 44) && AT(pre_render_data, 48));
LAYOUT(PF_SmartRenderExtra, SIZE(16) && AT(input, 0) && AT(cb, 8));
LAYOUT(PF_SmartRenderCallbacks,
       SIZE(24) && SLOTS(O(checkout_layer_pixels), O(checkin_layer_pixels), O(checkout_output)));

// ---- Effect suites ---------------------------------------------------------------------------

LAYOUT(PF_HandleSuite1,
       SIZE(48) && SLOTS(O(host_new_handle), O(host_lock_handle), O(host_unlock_handle),
                         O(host_dispose_handle), O(host_get_handle_size), O(host_resize_handle)));

LAYOUT(PF_ANSICallbacksSuite1, SIZE(152) && AT(sprintf, 120) && AT(strcpy, 128));

LAYOUT(PF_WorldSuite2, SIZE(24) && AT(PF_GetPixelFormat, 16));

LAYOUT(PF_PixelFormatSuite1, SLOTS(O(AddSupportedPixelFormat), O(ClearSupportedPixelFormats)));

LAYOUT(PF_ParamUtilsSuite1, AT(PF_UpdateParamUI, 0));
LAYOUT(PF_ParamUtilsSuite3,
       SLOTS(O(PF_UpdateParamUI), O(PF_GetCurrentState), O(PF_AreStatesIdentical)));
static_assert(PF_ParamIndex_CHECK_ALL == -2, "PF_ParamIndex_CHECK_ALL");
static_assert(std::is_same<decltype(PF_ParamUtilsSuite3::PF_GetCurrentState),
                           PF_Err (*)(PF_ProgPtr, PF_ParamIndex, const A_Time*, const A_Time*,
                                      PF_State*)>::value,
              "PF_GetCurrentState signature");

// ---- AEGP suites -----------------------------------------------------------------------------

LAYOUT(AEGP_UtilitySuite3, AT(AEGP_RegisterWithAEGP, 56));

LAYOUT(AEGP_PFInterfaceSuite1, SIZE(40) && AT(AEGP_GetNewEffectForEffect, 8));

LAYOUT(AEGP_StreamSuite2, AT(AEGP_GetNewEffectStreamByIndex, 40) && AT(AEGP_DisposeStream, 56));

LAYOUT(AEGP_DynamicStreamSuite2, AT(AEGP_SetDynamicStreamFlag, 40));

LAYOUT(AEGP_EffectSuite2, AT(AEGP_DisposeEffect, 64));

// ---- Values ----------------------------------------------------------------------------------

// Selectors the plug-in dispatches on, and the count that pins the enumeration's length.
static_assert(PF_Cmd_ABOUT == 0 && PF_Cmd_GLOBAL_SETUP == 1 && PF_Cmd_GLOBAL_SETDOWN == 3 &&
                  PF_Cmd_PARAMS_SETUP == 4 && PF_Cmd_SEQUENCE_SETUP == 5 &&
                  PF_Cmd_SEQUENCE_RESETUP == 6 && PF_Cmd_SEQUENCE_FLATTEN == 7 &&
                  PF_Cmd_SEQUENCE_SETDOWN == 8 && PF_Cmd_RENDER == 11 &&
                  PF_Cmd_USER_CHANGED_PARAM == 13 && PF_Cmd_UPDATE_PARAMS_UI == 14,
              "classic selectors");
static_assert(PF_Cmd_ARBITRARY_CALLBACK == 22 && PF_Cmd_SMART_PRE_RENDER == 23 &&
                  PF_Cmd_SMART_RENDER == 24 && PF_Cmd_GET_FLATTENED_SEQUENCE_DATA == 28 &&
                  PF_Cmd_SMART_RENDER_GPU == 31 && PF_Cmd_GPU_DEVICE_SETDOWN == 33 &&
                  PF_Cmd_NUM_CMDS == 34,
              "smart-render selectors");

static_assert(PF_Err_NONE == 0 && A_Err_NONE == 0 && kSPNoError == 0 &&
                  PF_Err_INTERNAL_STRUCT_DAMAGED == 512 && PF_Err_BAD_CALLBACK_PARAM == 516 &&
                  PF_Interrupt_CANCEL == 517,
              "error codes");
static_assert(PF_Param_LAYER == 0 && PF_Param_ANGLE == 3 && PF_Param_CHECKBOX == 4 &&
                  PF_Param_COLOR == 5 && PF_Param_POINT == 6 && PF_Param_POPUP == 7 &&
                  PF_Param_FLOAT_SLIDER == 10 && PF_Param_GROUP_START == 13 &&
                  PF_Param_GROUP_END == 14,
              "parameter types");
static_assert(PF_ParamFlag_SUPERVISE == 0x40 && PF_PUI_INVISIBLE == 0x200 &&
                  PF_ChangeFlag_CHANGED_VALUE == 1 && PF_ValueDisplayFlag_PERCENT == 1 &&
                  PF_LayerDefault_MYSELF == -1 && PF_Precision_INTEGER == 0 &&
                  PF_Precision_HUNDREDTHS == 2 && AEGP_DynStreamFlag_HIDDEN == 2,
              "parameter flags and values");
static_assert(PF_MAX_EFFECT_PARAM_NAME_LEN == 31 && PF_MAX_EFFECT_MSG_LEN == 255, "limits");

// Output flags, each at its bit.
static_assert(PF_OutFlag_WIDE_TIME_INPUT == 0x2 && PF_OutFlag_NON_PARAM_VARY == 0x4 &&
                  PF_OutFlag_DISPLAY_ERROR_MESSAGE == 0x100 && PF_OutFlag_REFRESH_UI == 0x20000 &&
                  PF_OutFlag_FORCE_RERENDER == 0x400000 &&
                  PF_OutFlag_DEEP_COLOR_AWARE == 0x2000000 &&
                  PF_OutFlag_SEND_UPDATE_PARAMS_UI == 0x4000000,
              "out_flags bits");
static_assert(PF_OutFlag2_PARAM_GROUP_START_COLLAPSED_FLAG == 0x8 &&
                  PF_OutFlag2_SUPPORTS_SMART_RENDER == 0x400 &&
                  PF_OutFlag2_FLOAT_COLOR_AWARE == 0x1000 &&
                  PF_OutFlag2_PPRO_DO_NOT_CLONE_SEQUENCE_DATA_FOR_RENDER == 0x8000,
              "out_flags2 bits");

// Pixel formats: the bytes in memory spell the code (least significant byte first).
static_assert(PF_PixelFormat_ARGB32 == 0x62677261 && PF_PixelFormat_ARGB64 == 0x36316561 &&
                  PF_PixelFormat_ARGB128 == 0x32336561 && PF_PixelFormat_BGRA32 == 0x61726762 &&
                  PF_PixelFormat_INVALID == 0x66646162 &&
                  (A_long)PrPixelFormat_BGRA_4444_8u == PF_PixelFormat_BGRA32,
              "pixel formats");

// 16.16 fixed point, negative values included.
static_assert(INT2FIX(45) == 45 * 65536 && INT2FIX(10000) == 655360000, "INT2FIX");
#ifndef GLFX_REAL_AE_SDK
// Ours shifts through the unsigned type, so negative positions are no undefined shift.
static_assert(INT2FIX(-3) == -3 * 65536, "INT2FIX of a negative value");
#endif

// Numeric suite versions differ from the digits in the struct names.
static_assert(kPFHandleSuiteVersion1 == 2 && kPFWorldSuiteVersion2 == 2 &&
                  kPFParamUtilsSuiteVersion1 == 2 && kPFParamUtilsSuiteVersion3 == 3,
              "effect suite versions");

#ifndef GLFX_REAL_AE_SDK
// These constant names were not confirmed against header text.
static_assert(kPFANSISuiteVersion1 == 1 && kPFPixelFormatSuiteVersion1 == 1 &&
                  kAEGPUtilitySuiteVersion3 == 7 && kAEGPPFInterfaceSuiteVersion1 == 1 &&
                  kAEGPStreamSuiteVersion2 == 7 && kAEGPDynamicStreamSuiteVersion2 == 2 &&
                  kAEGPEffectSuiteVersion2 == 2,
              "suite versions");
#endif
