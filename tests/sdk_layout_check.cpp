// Compile-time proof that the SDK headers the build uses keep the host's binary layout on x64
// (Windows LLP64 and Linux LP64 alike) and the values the plug-in relies on. Nothing here runs.
//
// It sits outside sdk/ so that it checks whichever headers the build finds: our own, or the
// SDK's when the Windows build names them (GLFX_AE_SDK_DIR). Only these checks are left out then,
// each for the reason given where it stands:
// - the trailing GPU fields of PF_PreRenderInput / PF_SmartRenderInput (generation dependent);
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

#define CHECK_SIZE(T, N) static_assert(sizeof(T) == (N), "sizeof " #T)
#define CHECK_OFFSET(T, M, OFF) static_assert(offsetof(T, M) == (OFF), #T "::" #M)
// Suite and callback tables: one 8-byte pointer per slot.
#define CHECK_SLOT(T, M, INDEX) static_assert(offsetof(T, M) == 8 * (INDEX), #T "::" #M)

static_assert(sizeof(void*) == 8, "the host is 64-bit");

// The value of a multi-character literal such as 'kind' (which g++ warns about).
constexpr A_u_long fourChars(const char (&code)[5]) {
    return (A_u_long)(A_u_char)code[0] << 24 | (A_u_long)(A_u_char)code[1] << 16 |
           (A_u_long)(A_u_char)code[2] << 8 | (A_u_long)(A_u_char)code[3];
}

// ---- Basic types -----------------------------------------------------------------------------

static_assert(std::is_same<A_long, int32_t>::value, "A_long is 32-bit on every platform");
static_assert(std::is_same<A_u_long, uint32_t>::value, "A_u_long is 32-bit on every platform");
CHECK_SIZE(A_short, 2);
CHECK_SIZE(A_u_short, 2);
CHECK_SIZE(A_char, 1);
CHECK_SIZE(A_u_char, 1);
CHECK_SIZE(A_Boolean, 1);
CHECK_SIZE(A_FpLong, 8);
CHECK_SIZE(A_FpShort, 4);
CHECK_SIZE(A_Err, 4);
CHECK_SIZE(A_Handle, 8);
CHECK_SIZE(A_Fixed, 4);
CHECK_SIZE(A_UFixed, 4);
CHECK_SIZE(A_intptr_t, 8);
CHECK_SIZE(A_u_longlong, 8);
CHECK_SIZE(A_HandleSize, 8);
CHECK_SIZE(A_UTF16Char, 2);
CHECK_SIZE(A_Time, 8);
CHECK_SIZE(A_Ratio, 8);
CHECK_SIZE(A_LRect, 16);
CHECK_SIZE(A_Rect, 16);
CHECK_SIZE(A_FloatPoint, 16);
CHECK_SIZE(A_Matrix4, 128);

#ifdef GLFX_CHECK_WINDOWS_BRANCH
static_assert(std::is_same<PF_Boolean, char>::value, "PF_Boolean is plain char");
static_assert(std::is_same<PF_Handle, void**>::value, "PF_Handle is void**");
static_assert(std::is_same<PF_Fixed, A_long>::value, "PF_Fixed is A_long");
CHECK_SIZE(SPBoolean, 4);
#endif
CHECK_SIZE(PF_Fixed, 4);
CHECK_SIZE(PF_UFixed, 4);
CHECK_SIZE(PF_Boolean, 1);
CHECK_SIZE(PF_Handle, 8);
CHECK_SIZE(PF_FpLong, 8);
CHECK_SIZE(PF_FpShort, 4);
CHECK_SIZE(PF_ProgPtr, 8);
CHECK_SIZE(PF_Err, 4);
CHECK_SIZE(PF_Cmd, 4);
CHECK_SIZE(PF_ParamIndex, 4);
CHECK_SIZE(PF_ParamValue, 4);
CHECK_SIZE(PF_ParamType, 4);
CHECK_SIZE(PF_ParamFlags, 4);
CHECK_SIZE(PF_ParamUIFlags, 4);
CHECK_SIZE(PF_ChangeFlags, 4);
CHECK_SIZE(PF_Quality, 4);
CHECK_SIZE(PF_Field, 4);
CHECK_SIZE(PF_ModeFlags, 4);
CHECK_SIZE(PF_WorldFlags, 4);
CHECK_SIZE(PF_OutFlags, 4);
CHECK_SIZE(PF_OutFlags2, 4);
CHECK_SIZE(PF_InFlags, 4);
CHECK_SIZE(PF_Stage, 4);
CHECK_SIZE(PF_PixelFormat, 4);
CHECK_SIZE(PF_ChannelMask, 4);
CHECK_SIZE(PF_GPU_Framework, 4);
CHECK_SIZE(PF_NewWorldFlags, 4);
CHECK_SIZE(PF_ValueDisplayFlags, 2);
CHECK_SIZE(PF_SoundFormat, 2);
CHECK_SIZE(PF_SoundSampleSize, 2);
CHECK_SIZE(PF_SoundChannels, 2);
CHECK_SIZE(PF_FSliderFlags, 4);
CHECK_SIZE(PF_KernelFlags, 4);
CHECK_SIZE(PF_SampleEdgeBehav, 4);
CHECK_SIZE(PF_Plane, 4);
CHECK_SIZE(PF_RenderOutputFlags, 2);
CHECK_SIZE(PF_SpecVersion, 4);
CHECK_SIZE(PF_Point, 8);
CHECK_SIZE(PF_LRect, 16);
CHECK_SIZE(PF_Rect, 16);
CHECK_SIZE(PF_UnionableRect, 16);
CHECK_SIZE(PF_RationalScale, 8);
static_assert(alignof(PF_RationalScale) == 4, "PF_RationalScale packs at 4");
CHECK_SIZE(PF_FixedPoint, 8);
CHECK_SIZE(PF_FixedRect, 16);
CHECK_SIZE(PF_ParamList, 8);
CHECK_SIZE(SPErr, 4);
CHECK_SIZE(AEGP_PluginID, 4);
CHECK_SIZE(AEGP_EffectRefH, 8);
CHECK_SIZE(AEGP_StreamRefH, 8);
CHECK_SIZE(AEGP_LayerH, 8);
CHECK_SIZE(AEGP_GlobalRefcon, 8);
CHECK_SIZE(AEGP_DynStreamFlags, 4);
CHECK_SIZE(AEGP_MemHandle, 8);
CHECK_SIZE(AEGP_ErrReportState, 48);
CHECK_SIZE(PrPixelFormat, 4);

CHECK_SIZE(PF_SoundFormatInfo, 16);
CHECK_OFFSET(PF_SoundFormatInfo, rateF, 0);
CHECK_OFFSET(PF_SoundFormatInfo, num_channels, 8);
CHECK_OFFSET(PF_SoundFormatInfo, format, 10);
CHECK_OFFSET(PF_SoundFormatInfo, sample_size, 12);
CHECK_SIZE(PF_SoundWorld, 32);
CHECK_OFFSET(PF_SoundWorld, fi, 0);
CHECK_OFFSET(PF_SoundWorld, num_samples, 16);
CHECK_OFFSET(PF_SoundWorld, dataP, 24);

// ---- SPBasicSuite ----------------------------------------------------------------------------

CHECK_SIZE(SPBasicSuite, 56);
CHECK_SLOT(SPBasicSuite, AcquireSuite, 0);
CHECK_SLOT(SPBasicSuite, ReleaseSuite, 1);
CHECK_SLOT(SPBasicSuite, IsEqual, 2);
CHECK_SLOT(SPBasicSuite, AllocateBlock, 3);
CHECK_SLOT(SPBasicSuite, FreeBlock, 4);
CHECK_SLOT(SPBasicSuite, ReallocateBlock, 5);
CHECK_SLOT(SPBasicSuite, Undefined, 6);

// ---- PF_InData -------------------------------------------------------------------------------

CHECK_SIZE(PF_InData, 408);
CHECK_OFFSET(PF_InData, inter, 0);
CHECK_OFFSET(PF_InData, utils, 176);
CHECK_OFFSET(PF_InData, effect_ref, 184);
CHECK_OFFSET(PF_InData, quality, 192);
CHECK_OFFSET(PF_InData, version, 196);
CHECK_OFFSET(PF_InData, serial_num, 200);
CHECK_OFFSET(PF_InData, appl_id, 204);
CHECK_OFFSET(PF_InData, num_params, 208);
CHECK_OFFSET(PF_InData, reserved, 212);
CHECK_OFFSET(PF_InData, what_cpu, 216);
CHECK_OFFSET(PF_InData, what_fpu, 220);
CHECK_OFFSET(PF_InData, current_time, 224);
CHECK_OFFSET(PF_InData, time_step, 228);
CHECK_OFFSET(PF_InData, total_time, 232);
CHECK_OFFSET(PF_InData, local_time_step, 236);
CHECK_OFFSET(PF_InData, time_scale, 240);
CHECK_OFFSET(PF_InData, field, 244);
CHECK_OFFSET(PF_InData, shutter_angle, 248);
CHECK_OFFSET(PF_InData, width, 252);
CHECK_OFFSET(PF_InData, height, 256);
CHECK_OFFSET(PF_InData, extent_hint, 260);
CHECK_OFFSET(PF_InData, output_origin_x, 276);
CHECK_OFFSET(PF_InData, output_origin_y, 280);
CHECK_OFFSET(PF_InData, downsample_x, 284);
CHECK_OFFSET(PF_InData, downsample_y, 292);
CHECK_OFFSET(PF_InData, pixel_aspect_ratio, 300);
CHECK_OFFSET(PF_InData, in_flags, 308);
CHECK_OFFSET(PF_InData, global_data, 312);
CHECK_OFFSET(PF_InData, sequence_data, 320);
CHECK_OFFSET(PF_InData, frame_data, 328);
CHECK_OFFSET(PF_InData, start_sampL, 336);
CHECK_OFFSET(PF_InData, dur_sampL, 340);
CHECK_OFFSET(PF_InData, total_sampL, 344);
CHECK_OFFSET(PF_InData, src_snd, 352);
CHECK_OFFSET(PF_InData, pica_basicP, 384);
CHECK_OFFSET(PF_InData, pre_effect_source_origin_x, 392);
CHECK_OFFSET(PF_InData, pre_effect_source_origin_y, 396);
CHECK_OFFSET(PF_InData, shutter_phase, 400);

// ---- PF_OutData ------------------------------------------------------------------------------

CHECK_SIZE(PF_OutData, 408);
CHECK_OFFSET(PF_OutData, my_version, 0);
CHECK_OFFSET(PF_OutData, name, 4);
CHECK_SIZE(((PF_OutData*)nullptr)->name, 32);
CHECK_OFFSET(PF_OutData, global_data, 40);
CHECK_OFFSET(PF_OutData, num_params, 48);
CHECK_OFFSET(PF_OutData, sequence_data, 56);
CHECK_OFFSET(PF_OutData, flat_sdata_size, 64);
CHECK_OFFSET(PF_OutData, frame_data, 72);
CHECK_OFFSET(PF_OutData, width, 80);
CHECK_OFFSET(PF_OutData, height, 84);
CHECK_OFFSET(PF_OutData, origin, 88);
CHECK_OFFSET(PF_OutData, out_flags, 96);
CHECK_OFFSET(PF_OutData, return_msg, 100);
CHECK_SIZE(((PF_OutData*)nullptr)->return_msg, 256);
CHECK_OFFSET(PF_OutData, start_sampL, 356);
CHECK_OFFSET(PF_OutData, dur_sampL, 360);
CHECK_OFFSET(PF_OutData, dest_snd, 368);
CHECK_OFFSET(PF_OutData, out_flags2, 400);

// ---- PF_ParamDef and its union ---------------------------------------------------------------

CHECK_SIZE(PF_ParamDef, 176);
CHECK_OFFSET(PF_ParamDef, uu, 0);
CHECK_OFFSET(PF_ParamDef, ui_flags, 4);
CHECK_OFFSET(PF_ParamDef, ui_width, 8);
CHECK_OFFSET(PF_ParamDef, ui_height, 10);
CHECK_OFFSET(PF_ParamDef, param_type, 12);
CHECK_OFFSET(PF_ParamDef, name, 16);
CHECK_SIZE(((PF_ParamDef*)nullptr)->name, 32);
CHECK_OFFSET(PF_ParamDef, flags, 48);
CHECK_OFFSET(PF_ParamDef, unused, 52);
CHECK_OFFSET(PF_ParamDef, u, 56);

CHECK_SIZE(PF_ParamDefUnion, 120);
static_assert(alignof(PF_ParamDefUnion) == 8, "PF_ParamDefUnion aligns at 8");
CHECK_SIZE(PF_SliderDef, 88);
CHECK_SIZE(PF_FixedSliderDef, 92);
CHECK_SIZE(PF_AngleDef, 16);
CHECK_SIZE(PF_CheckBoxDef, 16);
CHECK_SIZE(PF_ColorDef, 8);
CHECK_SIZE(PF_PointDef, 20);
CHECK_SIZE(PF_PopupDef, 16);
CHECK_SIZE(PF_FloatSliderDef, 88);
CHECK_SIZE(PF_ArbitraryDef, 32);
CHECK_SIZE(PF_PathDef, 12);
CHECK_SIZE(PF_ButtonDef, 16);
CHECK_SIZE(PF_Point3DDef, 64);
CHECK_SIZE(PF_UserChangedParamExtra, 4);

CHECK_OFFSET(PF_FloatSliderDef, value, 0);
CHECK_OFFSET(PF_FloatSliderDef, phase, 8);
CHECK_OFFSET(PF_FloatSliderDef, value_desc, 16);
CHECK_OFFSET(PF_FloatSliderDef, valid_min, 48);
CHECK_OFFSET(PF_FloatSliderDef, valid_max, 52);
CHECK_OFFSET(PF_FloatSliderDef, slider_min, 56);
CHECK_OFFSET(PF_FloatSliderDef, slider_max, 60);
CHECK_OFFSET(PF_FloatSliderDef, dephault, 64);
CHECK_OFFSET(PF_FloatSliderDef, precision, 68);
CHECK_OFFSET(PF_FloatSliderDef, display_flags, 70);
CHECK_OFFSET(PF_FloatSliderDef, fs_flags, 72);
CHECK_OFFSET(PF_FloatSliderDef, curve_tolerance, 76);
CHECK_OFFSET(PF_FloatSliderDef, useExponent, 80);
CHECK_OFFSET(PF_FloatSliderDef, exponent, 84);
static_assert(std::is_same<decltype(PF_FloatSliderDef::value), PF_FpLong>::value, "double value");
static_assert(std::is_same<decltype(PF_FloatSliderDef::dephault), PF_FpShort>::value,
              "float default");

CHECK_OFFSET(PF_CheckBoxDef, value, 0);
CHECK_OFFSET(PF_CheckBoxDef, dephault, 4);
CHECK_OFFSET(PF_CheckBoxDef, reserved, 5);
CHECK_OFFSET(PF_CheckBoxDef, reserved1, 6);
CHECK_OFFSET(PF_CheckBoxDef, u, 8);
CHECK_OFFSET(PF_PopupDef, value, 0);
CHECK_OFFSET(PF_PopupDef, num_choices, 4);
CHECK_OFFSET(PF_PopupDef, dephault, 6);
CHECK_OFFSET(PF_PopupDef, u, 8);
CHECK_OFFSET(PF_ColorDef, value, 0);
CHECK_OFFSET(PF_ColorDef, dephault, 4);
CHECK_OFFSET(PF_AngleDef, value, 0);
CHECK_OFFSET(PF_AngleDef, dephault, 4);
CHECK_OFFSET(PF_AngleDef, valid_min, 8);
CHECK_OFFSET(PF_AngleDef, valid_max, 12);
CHECK_OFFSET(PF_PointDef, x_value, 0);
CHECK_OFFSET(PF_PointDef, y_value, 4);
CHECK_OFFSET(PF_PointDef, reserved, 8);
CHECK_OFFSET(PF_PointDef, restrict_bounds, 11);
CHECK_OFFSET(PF_PointDef, x_dephault, 12);
CHECK_OFFSET(PF_PointDef, y_dephault, 16);
CHECK_OFFSET(PF_SliderDef, value, 0);
CHECK_OFFSET(PF_SliderDef, value_str, 4);
CHECK_OFFSET(PF_SliderDef, value_desc, 36);
CHECK_OFFSET(PF_SliderDef, valid_min, 68);
CHECK_OFFSET(PF_SliderDef, valid_max, 72);
CHECK_OFFSET(PF_SliderDef, slider_min, 76);
CHECK_OFFSET(PF_SliderDef, slider_max, 80);
CHECK_OFFSET(PF_SliderDef, dephault, 84);
CHECK_OFFSET(PF_FixedSliderDef, value, 0);
CHECK_OFFSET(PF_FixedSliderDef, value_str, 4);
CHECK_OFFSET(PF_FixedSliderDef, value_desc, 36);
CHECK_OFFSET(PF_FixedSliderDef, valid_min, 68);
CHECK_OFFSET(PF_FixedSliderDef, valid_max, 72);
CHECK_OFFSET(PF_FixedSliderDef, slider_min, 76);
CHECK_OFFSET(PF_FixedSliderDef, slider_max, 80);
CHECK_OFFSET(PF_FixedSliderDef, dephault, 84);
CHECK_OFFSET(PF_FixedSliderDef, precision, 88);
CHECK_OFFSET(PF_FixedSliderDef, display_flags, 90);
CHECK_OFFSET(PF_ArbitraryDef, id, 0);
CHECK_OFFSET(PF_ArbitraryDef, pad, 2);
CHECK_OFFSET(PF_ArbitraryDef, dephault, 8);
CHECK_OFFSET(PF_ArbitraryDef, value, 16);
CHECK_OFFSET(PF_ArbitraryDef, refconPV, 24);
CHECK_OFFSET(PF_PathDef, path_id, 0);
CHECK_OFFSET(PF_PathDef, reserved0, 4);
CHECK_OFFSET(PF_PathDef, dephault, 8);
CHECK_OFFSET(PF_ButtonDef, value, 0);
CHECK_OFFSET(PF_ButtonDef, u, 8);
CHECK_OFFSET(PF_Point3DDef, x_value, 0);
CHECK_OFFSET(PF_Point3DDef, y_value, 8);
CHECK_OFFSET(PF_Point3DDef, z_value, 16);
CHECK_OFFSET(PF_Point3DDef, x_dephault, 24);
CHECK_OFFSET(PF_Point3DDef, y_dephault, 32);
CHECK_OFFSET(PF_Point3DDef, z_dephault, 40);
CHECK_OFFSET(PF_Point3DDef, reserved, 48);
CHECK_OFFSET(PF_UserChangedParamExtra, param_index, 0);

// ---- Worlds and pixels -----------------------------------------------------------------------

static_assert(std::is_same<PF_EffectWorld, PF_LayerDef>::value, "one record, two names");
CHECK_SIZE(PF_LayerDef, 120);
CHECK_OFFSET(PF_LayerDef, reserved0, 0);
CHECK_OFFSET(PF_LayerDef, reserved1, 8);
CHECK_OFFSET(PF_LayerDef, world_flags, 16);
CHECK_OFFSET(PF_LayerDef, data, 24);
CHECK_OFFSET(PF_LayerDef, rowbytes, 32);
CHECK_OFFSET(PF_LayerDef, width, 36);
CHECK_OFFSET(PF_LayerDef, height, 40);
CHECK_OFFSET(PF_LayerDef, extent_hint, 44);
CHECK_OFFSET(PF_LayerDef, platform_ref, 64);
CHECK_OFFSET(PF_LayerDef, reserved_long1, 72);
CHECK_OFFSET(PF_LayerDef, reserved_long4, 80);
CHECK_OFFSET(PF_LayerDef, pix_aspect_ratio, 88);
CHECK_OFFSET(PF_LayerDef, reserved_long2, 96);
CHECK_OFFSET(PF_LayerDef, origin_x, 104);
CHECK_OFFSET(PF_LayerDef, origin_y, 108);
CHECK_OFFSET(PF_LayerDef, reserved_long3, 112);
CHECK_OFFSET(PF_LayerDef, dephault, 116);

CHECK_SIZE(PF_Pixel, 4);
CHECK_OFFSET(PF_Pixel, alpha, 0);
CHECK_OFFSET(PF_Pixel, red, 1);
CHECK_OFFSET(PF_Pixel, green, 2);
CHECK_OFFSET(PF_Pixel, blue, 3);
CHECK_SIZE(PF_Pixel16, 8);
CHECK_OFFSET(PF_Pixel16, alpha, 0);
CHECK_OFFSET(PF_Pixel16, red, 2);
CHECK_OFFSET(PF_Pixel16, green, 4);
CHECK_OFFSET(PF_Pixel16, blue, 6);
CHECK_SIZE(PF_PixelFloat, 16);
CHECK_OFFSET(PF_PixelFloat, alpha, 0);
CHECK_OFFSET(PF_PixelFloat, red, 4);
CHECK_OFFSET(PF_PixelFloat, green, 8);
CHECK_OFFSET(PF_PixelFloat, blue, 12);
static_assert(std::is_same<PF_Pixel8, PF_Pixel>::value, "PF_Pixel8 is PF_Pixel");
static_assert(std::is_same<PF_Pixel32, PF_PixelFloat>::value, "PF_Pixel32 is PF_PixelFloat");
CHECK_SIZE(PF_PixLong, 4);

// ---- PF_InteractCallbacks --------------------------------------------------------------------

CHECK_SIZE(PF_InteractCallbacks, 176);
CHECK_SLOT(PF_InteractCallbacks, checkout_param, 0);
CHECK_SLOT(PF_InteractCallbacks, checkin_param, 1);
CHECK_SLOT(PF_InteractCallbacks, add_param, 2);
CHECK_SLOT(PF_InteractCallbacks, abort, 3);
CHECK_SLOT(PF_InteractCallbacks, progress, 4);
CHECK_SLOT(PF_InteractCallbacks, register_ui, 5);
CHECK_SLOT(PF_InteractCallbacks, checkout_layer_audio, 6);
CHECK_SLOT(PF_InteractCallbacks, checkin_layer_audio, 7);
CHECK_SLOT(PF_InteractCallbacks, get_audio_data, 8);
CHECK_OFFSET(PF_InteractCallbacks, reserved_str, 72);
CHECK_OFFSET(PF_InteractCallbacks, reserved, 96);

// ---- PF_UtilCallbacks and the embedded ANSI table --------------------------------------------

CHECK_SIZE(PF_UtilCallbacks, 552);
CHECK_OFFSET(PF_UtilCallbacks, begin_sampling, 0);
CHECK_OFFSET(PF_UtilCallbacks, subpixel_sample, 8);
CHECK_OFFSET(PF_UtilCallbacks, area_sample, 16);
CHECK_OFFSET(PF_UtilCallbacks, get_batch_func_is_deprecated, 24);
CHECK_OFFSET(PF_UtilCallbacks, end_sampling, 32);
CHECK_OFFSET(PF_UtilCallbacks, composite_rect, 40);
CHECK_OFFSET(PF_UtilCallbacks, blend, 48);
CHECK_OFFSET(PF_UtilCallbacks, convolve, 56);
CHECK_OFFSET(PF_UtilCallbacks, copy, 64);
CHECK_OFFSET(PF_UtilCallbacks, fill, 72);
CHECK_OFFSET(PF_UtilCallbacks, gaussian_kernel, 80);
CHECK_OFFSET(PF_UtilCallbacks, iterate, 88);
CHECK_OFFSET(PF_UtilCallbacks, premultiply, 96);
CHECK_OFFSET(PF_UtilCallbacks, premultiply_color, 104);
CHECK_OFFSET(PF_UtilCallbacks, new_world, 112);
CHECK_OFFSET(PF_UtilCallbacks, dispose_world, 120);
CHECK_OFFSET(PF_UtilCallbacks, iterate_origin, 128);
CHECK_OFFSET(PF_UtilCallbacks, iterate_lut, 136);
CHECK_OFFSET(PF_UtilCallbacks, transfer_rect, 144);
CHECK_OFFSET(PF_UtilCallbacks, transform_world, 152);
CHECK_OFFSET(PF_UtilCallbacks, host_new_handle, 160);
CHECK_OFFSET(PF_UtilCallbacks, host_lock_handle, 168);
CHECK_OFFSET(PF_UtilCallbacks, host_unlock_handle, 176);
CHECK_OFFSET(PF_UtilCallbacks, host_dispose_handle, 184);
CHECK_OFFSET(PF_UtilCallbacks, get_callback_addr, 192);
CHECK_OFFSET(PF_UtilCallbacks, app, 200);
CHECK_OFFSET(PF_UtilCallbacks, ansi, 208);
CHECK_OFFSET(PF_UtilCallbacks, colorCB, 368);
CHECK_OFFSET(PF_UtilCallbacks, get_platform_data, 432);
CHECK_OFFSET(PF_UtilCallbacks, host_get_handle_size, 440);
CHECK_OFFSET(PF_UtilCallbacks, iterate_origin_non_clip_src, 448);
CHECK_OFFSET(PF_UtilCallbacks, iterate_generic, 456);
CHECK_OFFSET(PF_UtilCallbacks, host_resize_handle, 464);
CHECK_OFFSET(PF_UtilCallbacks, subpixel_sample16, 472);
CHECK_OFFSET(PF_UtilCallbacks, area_sample16, 480);
CHECK_OFFSET(PF_UtilCallbacks, fill16, 488);
CHECK_OFFSET(PF_UtilCallbacks, premultiply_color16, 496);
CHECK_OFFSET(PF_UtilCallbacks, iterate16, 504);
CHECK_OFFSET(PF_UtilCallbacks, iterate_origin16, 512);
CHECK_OFFSET(PF_UtilCallbacks, iterate_origin_non_clip_src16, 520);
CHECK_OFFSET(PF_UtilCallbacks, get_pixel_data8, 528);
CHECK_OFFSET(PF_UtilCallbacks, get_pixel_data16, 536);
CHECK_OFFSET(PF_UtilCallbacks, reserved, 544);
CHECK_SIZE(PF_ColorCallbacks, 64);
static_assert(std::is_same<decltype(PF_InData::utils), PF_UtilCallbacks*>::value,
              "in_data->utils is the tagged utility record");

CHECK_SIZE(PF_ANSICallbacks, 160);
CHECK_SLOT(PF_ANSICallbacks, atan, 0);
CHECK_SLOT(PF_ANSICallbacks, atan2, 1);
CHECK_SLOT(PF_ANSICallbacks, ceil, 2);
CHECK_SLOT(PF_ANSICallbacks, cos, 3);
CHECK_SLOT(PF_ANSICallbacks, exp, 4);
CHECK_SLOT(PF_ANSICallbacks, fabs, 5);
CHECK_SLOT(PF_ANSICallbacks, floor, 6);
CHECK_SLOT(PF_ANSICallbacks, fmod, 7);
CHECK_SLOT(PF_ANSICallbacks, hypot, 8);
CHECK_SLOT(PF_ANSICallbacks, log, 9);
CHECK_SLOT(PF_ANSICallbacks, log10, 10);
CHECK_SLOT(PF_ANSICallbacks, pow, 11);
CHECK_SLOT(PF_ANSICallbacks, sin, 12);
CHECK_SLOT(PF_ANSICallbacks, sqrt, 13);
CHECK_SLOT(PF_ANSICallbacks, tan, 14);
CHECK_SLOT(PF_ANSICallbacks, sprintf, 15);
CHECK_SLOT(PF_ANSICallbacks, strcpy, 16);
CHECK_SLOT(PF_ANSICallbacks, asin, 17);
CHECK_SLOT(PF_ANSICallbacks, acos, 18);
CHECK_OFFSET(PF_ANSICallbacks, ansi_procs, 152);
// The handle and string members the plug-in calls, at their absolute places in utils.
static_assert(offsetof(PF_UtilCallbacks, ansi) + offsetof(PF_ANSICallbacks, sprintf) == 328,
              "utils->ansi.sprintf");
static_assert(offsetof(PF_UtilCallbacks, ansi) + offsetof(PF_ANSICallbacks, strcpy) == 336,
              "utils->ansi.strcpy");

// ---- Smart render ----------------------------------------------------------------------------

CHECK_SIZE(PF_RenderRequest, 44);
static_assert(alignof(PF_RenderRequest) == 4, "PF_RenderRequest packs at 4");
CHECK_OFFSET(PF_RenderRequest, rect, 0);
CHECK_OFFSET(PF_RenderRequest, field, 16);
CHECK_OFFSET(PF_RenderRequest, channel_mask, 20);
CHECK_OFFSET(PF_RenderRequest, preserve_rgb_of_zero_alpha, 24);
CHECK_OFFSET(PF_RenderRequest, unused, 25);
CHECK_OFFSET(PF_RenderRequest, reserved, 28);

CHECK_OFFSET(PF_PreRenderInput, output_request, 0);
CHECK_OFFSET(PF_PreRenderInput, bitdepth, 44);
CHECK_SIZE(PF_PreRenderOutput, 56);
CHECK_OFFSET(PF_PreRenderOutput, result_rect, 0);
CHECK_OFFSET(PF_PreRenderOutput, max_result_rect, 16);
CHECK_OFFSET(PF_PreRenderOutput, solid, 32);
CHECK_OFFSET(PF_PreRenderOutput, reserved, 33);
CHECK_OFFSET(PF_PreRenderOutput, flags, 34);
CHECK_OFFSET(PF_PreRenderOutput, pre_render_data, 40);
CHECK_OFFSET(PF_PreRenderOutput, delete_pre_render_data_func, 48);
CHECK_SIZE(PF_PreRenderExtra, 24);
CHECK_OFFSET(PF_PreRenderExtra, input, 0);
CHECK_OFFSET(PF_PreRenderExtra, output, 8);
CHECK_OFFSET(PF_PreRenderExtra, cb, 16);
CHECK_SIZE(PF_CheckoutResult, 76);
static_assert(alignof(PF_CheckoutResult) == 4, "PF_CheckoutResult packs at 4");
CHECK_OFFSET(PF_CheckoutResult, result_rect, 0);
CHECK_OFFSET(PF_CheckoutResult, max_result_rect, 16);
CHECK_OFFSET(PF_CheckoutResult, par, 32);
CHECK_OFFSET(PF_CheckoutResult, solid, 40);
CHECK_OFFSET(PF_CheckoutResult, reservedB, 41);
CHECK_OFFSET(PF_CheckoutResult, ref_width, 44);
CHECK_OFFSET(PF_CheckoutResult, ref_height, 48);
CHECK_OFFSET(PF_CheckoutResult, reserved, 52);
CHECK_SIZE(PF_PreRenderCallbacks, 16);
CHECK_SLOT(PF_PreRenderCallbacks, checkout_layer, 0);
CHECK_SLOT(PF_PreRenderCallbacks, GuidMixInPtr, 1);

CHECK_OFFSET(PF_SmartRenderInput, output_request, 0);
CHECK_OFFSET(PF_SmartRenderInput, bitdepth, 44);
CHECK_OFFSET(PF_SmartRenderInput, pre_render_data, 48);
CHECK_SIZE(PF_SmartRenderExtra, 16);
CHECK_OFFSET(PF_SmartRenderExtra, input, 0);
CHECK_OFFSET(PF_SmartRenderExtra, cb, 8);
CHECK_SIZE(PF_SmartRenderCallbacks, 24);
CHECK_SLOT(PF_SmartRenderCallbacks, checkout_layer_pixels, 0);
CHECK_SLOT(PF_SmartRenderCallbacks, checkin_layer_pixels, 1);
CHECK_SLOT(PF_SmartRenderCallbacks, checkout_output, 2);

#ifndef GLFX_REAL_AE_SDK
// Earlier SDK generations end these records sooner (after bitdepth / pre_render_data).
CHECK_SIZE(PF_PreRenderInput, 64);
CHECK_OFFSET(PF_PreRenderInput, gpu_data, 48);
CHECK_OFFSET(PF_PreRenderInput, what_gpu, 56);
CHECK_OFFSET(PF_PreRenderInput, device_index, 60);
CHECK_SIZE(PF_SmartRenderInput, 72);
CHECK_OFFSET(PF_SmartRenderInput, gpu_data, 56);
CHECK_OFFSET(PF_SmartRenderInput, what_gpu, 64);
CHECK_OFFSET(PF_SmartRenderInput, device_index, 68);
#endif

// ---- Effect suites ---------------------------------------------------------------------------

CHECK_SIZE(PF_HandleSuite1, 48);
CHECK_SLOT(PF_HandleSuite1, host_new_handle, 0);
CHECK_SLOT(PF_HandleSuite1, host_lock_handle, 1);
CHECK_SLOT(PF_HandleSuite1, host_unlock_handle, 2);
CHECK_SLOT(PF_HandleSuite1, host_dispose_handle, 3);
CHECK_SLOT(PF_HandleSuite1, host_get_handle_size, 4);
CHECK_SLOT(PF_HandleSuite1, host_resize_handle, 5);

CHECK_SIZE(PF_ANSICallbacksSuite1, 152);
CHECK_SLOT(PF_ANSICallbacksSuite1, atan, 0);
CHECK_SLOT(PF_ANSICallbacksSuite1, atan2, 1);
CHECK_SLOT(PF_ANSICallbacksSuite1, ceil, 2);
CHECK_SLOT(PF_ANSICallbacksSuite1, cos, 3);
CHECK_SLOT(PF_ANSICallbacksSuite1, exp, 4);
CHECK_SLOT(PF_ANSICallbacksSuite1, fabs, 5);
CHECK_SLOT(PF_ANSICallbacksSuite1, floor, 6);
CHECK_SLOT(PF_ANSICallbacksSuite1, fmod, 7);
CHECK_SLOT(PF_ANSICallbacksSuite1, hypot, 8);
CHECK_SLOT(PF_ANSICallbacksSuite1, log, 9);
CHECK_SLOT(PF_ANSICallbacksSuite1, log10, 10);
CHECK_SLOT(PF_ANSICallbacksSuite1, pow, 11);
CHECK_SLOT(PF_ANSICallbacksSuite1, sin, 12);
CHECK_SLOT(PF_ANSICallbacksSuite1, sqrt, 13);
CHECK_SLOT(PF_ANSICallbacksSuite1, tan, 14);
CHECK_SLOT(PF_ANSICallbacksSuite1, sprintf, 15);
CHECK_SLOT(PF_ANSICallbacksSuite1, strcpy, 16);
CHECK_SLOT(PF_ANSICallbacksSuite1, asin, 17);
CHECK_SLOT(PF_ANSICallbacksSuite1, acos, 18);

CHECK_SIZE(PF_WorldSuite2, 24);
CHECK_SLOT(PF_WorldSuite2, PF_NewWorld, 0);
CHECK_SLOT(PF_WorldSuite2, PF_DisposeWorld, 1);
CHECK_SLOT(PF_WorldSuite2, PF_GetPixelFormat, 2);
CHECK_SLOT(PF_WorldSuite1, new_world, 0);
CHECK_SLOT(PF_WorldSuite1, dispose_world, 1);

CHECK_SLOT(PF_PixelFormatSuite1, AddSupportedPixelFormat, 0);
CHECK_SLOT(PF_PixelFormatSuite1, ClearSupportedPixelFormats, 1);
CHECK_SLOT(PF_PixelFormatSuite1, NewWorldOfPixelFormat, 2);
CHECK_SLOT(PF_PixelFormatSuite1, DisposeWorld, 3);
CHECK_SLOT(PF_PixelFormatSuite1, GetPixelFormat, 4);
CHECK_SLOT(PF_PixelFormatSuite1, GetBlackForPixelFormat, 5);
CHECK_SLOT(PF_PixelFormatSuite1, GetWhiteForPixelFormat, 6);
CHECK_SLOT(PF_PixelFormatSuite1, ConvertColorToPixelFormattedData, 7);
CHECK_SLOT(PF_PixelFormatSuite2, PF_AddSupportedPixelFormat, 0);
CHECK_SLOT(PF_PixelFormatSuite2, PF_ClearSupportedPixelFormats, 1);

CHECK_SLOT(PF_ParamUtilsSuite1, PF_UpdateParamUI, 0);
CHECK_SLOT(PF_ParamUtilsSuite1, PF_GetCurrentStateObsolete, 1);
CHECK_SLOT(PF_ParamUtilsSuite1, PF_HasParamChangedObsolete, 2);
CHECK_SLOT(PF_ParamUtilsSuite1, PF_HaveInputsChangedOverTimeSpanObsolete, 3);
CHECK_SLOT(PF_ParamUtilsSuite1, PF_IsIdenticalCheckout, 4);
CHECK_SLOT(PF_ParamUtilsSuite1, PF_FindKeyframeTime, 5);
CHECK_SLOT(PF_ParamUtilsSuite1, PF_GetKeyframeCount, 6);
CHECK_SLOT(PF_ParamUtilsSuite1, PF_CheckoutKeyframe, 7);
CHECK_SLOT(PF_ParamUtilsSuite1, PF_CheckinKeyframe, 8);
CHECK_SLOT(PF_ParamUtilsSuite1, PF_KeyIndexToTime, 9);
CHECK_SLOT(PF_ParamUtilsSuite3, PF_UpdateParamUI, 0);
CHECK_SLOT(PF_ParamUtilsSuite3, PF_GetCurrentState, 1);
CHECK_SLOT(PF_ParamUtilsSuite3, PF_AreStatesIdentical, 2);
CHECK_SLOT(PF_ParamUtilsSuite3, PF_IsIdenticalCheckout, 3);
CHECK_SLOT(PF_ParamUtilsSuite3, PF_FindKeyframeTime, 4);
CHECK_SLOT(PF_ParamUtilsSuite3, PF_GetKeyframeCount, 5);
CHECK_SLOT(PF_ParamUtilsSuite3, PF_CheckoutKeyframe, 6);
CHECK_SLOT(PF_ParamUtilsSuite3, PF_CheckinKeyframe, 7);
CHECK_SLOT(PF_ParamUtilsSuite3, PF_KeyIndexToTime, 8);
CHECK_SIZE(PF_State, 16);
static_assert(PF_ParamIndex_CHECK_ALL == -2, "PF_ParamIndex_CHECK_ALL");
static_assert(std::is_same<decltype(PF_ParamUtilsSuite3::PF_GetCurrentState),
                           PF_Err (*)(PF_ProgPtr, PF_ParamIndex, const A_Time*, const A_Time*,
                                      PF_State*)>::value,
              "PF_GetCurrentState signature");

// ---- AEGP suites -----------------------------------------------------------------------------

CHECK_SLOT(AEGP_UtilitySuite3, AEGP_ReportInfo, 0);
CHECK_SLOT(AEGP_UtilitySuite3, AEGP_GetDriverPluginInitFuncVersion, 1);
CHECK_SLOT(AEGP_UtilitySuite3, AEGP_GetDriverImplementationVersion, 2);
CHECK_SLOT(AEGP_UtilitySuite3, AEGP_StartQuietErrors, 3);
CHECK_SLOT(AEGP_UtilitySuite3, AEGP_EndQuietErrors, 4);
CHECK_SLOT(AEGP_UtilitySuite3, AEGP_StartUndoGroup, 5);
CHECK_SLOT(AEGP_UtilitySuite3, AEGP_EndUndoGroup, 6);
CHECK_SLOT(AEGP_UtilitySuite3, AEGP_RegisterWithAEGP, 7);
CHECK_SLOT(AEGP_UtilitySuite3, AEGP_GetMainHWND, 8);

CHECK_SIZE(AEGP_PFInterfaceSuite1, 40);
CHECK_SLOT(AEGP_PFInterfaceSuite1, AEGP_GetEffectLayer, 0);
CHECK_SLOT(AEGP_PFInterfaceSuite1, AEGP_GetNewEffectForEffect, 1);
CHECK_SLOT(AEGP_PFInterfaceSuite1, AEGP_ConvertEffectToCompTime, 2);
CHECK_SLOT(AEGP_PFInterfaceSuite1, AEGP_GetEffectCamera, 3);
CHECK_SLOT(AEGP_PFInterfaceSuite1, AEGP_GetEffectCameraMatrix, 4);

CHECK_SLOT(AEGP_StreamSuite2, AEGP_IsStreamLegal, 0);
CHECK_SLOT(AEGP_StreamSuite2, AEGP_CanVaryOverTime, 1);
CHECK_SLOT(AEGP_StreamSuite2, AEGP_GetValidInterpolations, 2);
CHECK_SLOT(AEGP_StreamSuite2, AEGP_GetNewLayerStream, 3);
CHECK_SLOT(AEGP_StreamSuite2, AEGP_GetEffectNumParamStreams, 4);
CHECK_SLOT(AEGP_StreamSuite2, AEGP_GetNewEffectStreamByIndex, 5);
CHECK_SLOT(AEGP_StreamSuite2, AEGP_GetNewMaskStream, 6);
CHECK_SLOT(AEGP_StreamSuite2, AEGP_DisposeStream, 7);
CHECK_SLOT(AEGP_StreamSuite2, AEGP_GetStreamName, 8);

CHECK_SLOT(AEGP_DynamicStreamSuite2, AEGP_GetNewStreamRefForLayer, 0);
CHECK_SLOT(AEGP_DynamicStreamSuite2, AEGP_GetStreamDepth, 1);
CHECK_SLOT(AEGP_DynamicStreamSuite2, AEGP_GetStreamGroupingType, 2);
CHECK_SLOT(AEGP_DynamicStreamSuite2, AEGP_GetNumStreamsInGroup, 3);
CHECK_SLOT(AEGP_DynamicStreamSuite2, AEGP_GetDynamicStreamFlags, 4);
CHECK_SLOT(AEGP_DynamicStreamSuite2, AEGP_SetDynamicStreamFlag, 5);
CHECK_SLOT(AEGP_DynamicStreamSuite2, AEGP_GetNewStreamRefByIndex, 6);
CHECK_SLOT(AEGP_DynamicStreamSuite2, AEGP_GetNewStreamRefByMatchname, 7);
CHECK_SLOT(AEGP_DynamicStreamSuite2, AEGP_DeleteStream, 8);
CHECK_SLOT(AEGP_DynamicStreamSuite2, AEGP_ReorderStream, 9);
CHECK_SLOT(AEGP_DynamicStreamSuite2, AEGP_DuplicateStream, 10);
CHECK_SLOT(AEGP_DynamicStreamSuite2, AEGP_SetStreamName, 11);
CHECK_SLOT(AEGP_DynamicStreamSuite2, AEGP_CanAddStream, 12);
CHECK_SLOT(AEGP_DynamicStreamSuite2, AEGP_AddStream, 13);
CHECK_SLOT(AEGP_DynamicStreamSuite2, AEGP_GetMatchName, 14);
CHECK_SLOT(AEGP_DynamicStreamSuite2, AEGP_GetNewParentStreamRef, 15);
CHECK_SLOT(AEGP_DynamicStreamSuite2, AEGP_GetStreamIsModified, 16);

CHECK_SLOT(AEGP_EffectSuite2, AEGP_GetLayerNumEffects, 0);
CHECK_SLOT(AEGP_EffectSuite2, AEGP_GetLayerEffectByIndex, 1);
CHECK_SLOT(AEGP_EffectSuite2, AEGP_GetInstalledKeyFromLayerEffect, 2);
CHECK_SLOT(AEGP_EffectSuite2, AEGP_GetEffectParamUnionByIndex, 3);
CHECK_SLOT(AEGP_EffectSuite2, AEGP_GetEffectFlags, 4);
CHECK_SLOT(AEGP_EffectSuite2, AEGP_SetEffectFlags, 5);
CHECK_SLOT(AEGP_EffectSuite2, AEGP_ReorderEffect, 6);
CHECK_SLOT(AEGP_EffectSuite2, AEGP_EffectCallGeneric, 7);
CHECK_SLOT(AEGP_EffectSuite2, AEGP_DisposeEffect, 8);
CHECK_SLOT(AEGP_EffectSuite2, AEGP_ApplyEffect, 9);
CHECK_SLOT(AEGP_EffectSuite2, AEGP_DeleteLayerEffect, 10);
CHECK_SLOT(AEGP_EffectSuite2, AEGP_GetNumInstalledEffects, 11);
CHECK_SLOT(AEGP_EffectSuite2, AEGP_GetNextInstalledEffect, 12);
CHECK_SLOT(AEGP_EffectSuite2, AEGP_GetEffectName, 13);
CHECK_SLOT(AEGP_EffectSuite2, AEGP_GetEffectMatchName, 14);
CHECK_SLOT(AEGP_EffectSuite2, AEGP_GetEffectCategory, 15);
CHECK_SLOT(AEGP_EffectSuite2, AEGP_DuplicateEffect, 16);

// ---- PiPL records ----------------------------------------------------------------------------

CHECK_SIZE(PIType, 4);
CHECK_OFFSET(PIProperty, vendorID, 0);
CHECK_OFFSET(PIProperty, propertyKey, 4);
CHECK_OFFSET(PIProperty, propertyID, 8);
CHECK_OFFSET(PIProperty, propertyLength, 12);
CHECK_OFFSET(PIProperty, propertyData, 16);
CHECK_OFFSET(PIPropertyList, version, 0);
CHECK_OFFSET(PIPropertyList, count, 4);
CHECK_OFFSET(PIPropertyList, properties, 8);

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

static_assert(PF_Err_NONE == 0 && PF_Err_OUT_OF_MEMORY == 4 &&
                  PF_Err_INTERNAL_STRUCT_DAMAGED == 512 && PF_Err_INVALID_INDEX == 513 &&
                  PF_Err_UNRECOGNIZED_PARAM_TYPE == 514 && PF_Err_INVALID_CALLBACK == 515 &&
                  PF_Err_BAD_CALLBACK_PARAM == 516 && PF_Interrupt_CANCEL == 517 &&
                  PF_Err_CANNOT_PARSE_KEYFRAME_TEXT == 518,
              "PF_Err codes");
static_assert(A_Err_NONE == 0 && A_Err_GENERIC == 1 && A_Err_STRUCT == 2 && A_Err_PARAMETER == 3 &&
                  A_Err_ALLOC == 4 && A_Err_MISSING_SUITE == 13,
              "A_Err codes");
static_assert(kSPNoError == 0 && kSPUnimplementedError == 0x21494D50 &&
                  kSPSuiteNotFoundError == 0x53214664 && kSPBadParameterError == 0x5061726D &&
                  (SPErr)kSPOutOfMemoryError == -148,
              "SP error codes");

static_assert(PF_Param_RESERVED == -1 && PF_Param_LAYER == 0 && PF_Param_ANGLE == 3 &&
                  PF_Param_CHECKBOX == 4 && PF_Param_COLOR == 5 && PF_Param_POINT == 6 &&
                  PF_Param_POPUP == 7 && PF_Param_FLOAT_SLIDER == 10 &&
                  PF_Param_GROUP_START == 13 && PF_Param_GROUP_END == 14 && PF_Param_BUTTON == 15 &&
                  PF_Param_POINT_3D == 18,
              "parameter types");
static_assert(PF_ParamFlag_SUPERVISE == 0x40 && PF_ParamFlag_COLLAPSE_TWIRLY == 0x20 &&
                  PF_ParamFlag_SKIP_REVEAL_WHEN_UNHIDDEN == 0x200 && PF_ParamFlag_NONE == 0,
              "parameter flags");
static_assert(PF_PUI_INVISIBLE == 0x200 && PF_PUI_DISABLED == 0x20, "parameter UI flags");
static_assert(PF_ChangeFlag_CHANGED_VALUE == 1 && PF_ValueDisplayFlag_PERCENT == 1 &&
                  PF_LayerDefault_MYSELF == -1 && PF_LayerDefault_NONE == 0,
              "change, display and layer default values");
static_assert(PF_Precision_INTEGER == 0 && PF_Precision_HUNDREDTHS == 2 &&
                  PF_Precision_TEN_THOUSANDTHS == 4,
              "precision");
static_assert(PF_Stage_DEVELOP == 0 && PF_Stage_RELEASE == 3, "stages");
static_assert(PF_Quality_DRAWING_AUDIO == -1 && PF_Quality_HI == 1 && PF_Field_LOWER == 2 &&
                  PF_MF_Alpha_STRAIGHT == 1 && PF_InFlag_PROJECT_IS_RENDER_ONLY == 1 &&
                  PF_NewWorldFlag_DEEP_PIXELS == 2 && PF_WorldFlag_WRITEABLE == 2,
              "small enumerations");
static_assert(PF_ChannelMask_ARGB == 0xF && PF_RenderOutputFlag_GPU_RENDER_POSSIBLE == 2 &&
                  PF_GPU_Framework_CUDA == 3,
              "smart-render constants");
static_assert(PF_MAX_EFFECT_NAME_LEN == 31 && PF_MAX_EFFECT_PARAM_NAME_LEN == 31 &&
                  PF_MAX_EFFECT_MSG_LEN == 255 && PF_MAX_WORLD_WIDTH == 30000 &&
                  AEGP_MAX_PLUGIN_NAME_SIZE == 32 && AEGP_MAX_EFFECT_MATCH_NAME_SIZE == 48,
              "limits");
static_assert(PF_MAX_CHAN8 == 255 && PF_HALF_CHAN8 == 128 && PF_MAX_CHAN16 == 32768 &&
                  PF_HALF_CHAN16 == 16384,
              "channel ranges");

// Output flags: each checked at its bit, and the words the plug-in declares.
static_assert(PF_OutFlag_WIDE_TIME_INPUT == 0x2 && PF_OutFlag_NON_PARAM_VARY == 0x4 &&
                  PF_OutFlag_DISPLAY_ERROR_MESSAGE == 0x100 && PF_OutFlag_REFRESH_UI == 0x20000 &&
                  PF_OutFlag_FORCE_RERENDER == 0x400000 &&
                  PF_OutFlag_DEEP_COLOR_AWARE == 0x2000000 &&
                  PF_OutFlag_SEND_UPDATE_PARAMS_UI == 0x4000000 &&
                  (A_u_long)PF_OutFlag_AUDIO_EFFECT_ONLY == 0x80000000U,
              "out_flags bits");
static_assert((PF_OutFlag_WIDE_TIME_INPUT | PF_OutFlag_NON_PARAM_VARY |
               PF_OutFlag_DEEP_COLOR_AWARE | PF_OutFlag_SEND_UPDATE_PARAMS_UI) == 0x06000006,
              "After Effects out_flags word");
static_assert((PF_OutFlag_FORCE_RERENDER | PF_OutFlag_REFRESH_UI) == 0x420000,
              "change-handler out_flags word");
static_assert(PF_OutFlag2_PARAM_GROUP_START_COLLAPSED_FLAG == 0x8 &&
                  PF_OutFlag2_SUPPORTS_SMART_RENDER == 0x400 &&
                  PF_OutFlag2_FLOAT_COLOR_AWARE == 0x1000 &&
                  PF_OutFlag2_PPRO_DO_NOT_CLONE_SEQUENCE_DATA_FOR_RENDER == 0x8000 &&
                  PF_OutFlag2_SUPPORTS_THREADED_RENDERING == 0x8000000 &&
                  PF_OutFlag2_MUTABLE_RENDER_SEQUENCE_DATA_SLOWER == 0x10000000,
              "out_flags2 bits");
static_assert((PF_OutFlag2_PARAM_GROUP_START_COLLAPSED_FLAG | PF_OutFlag2_SUPPORTS_SMART_RENDER |
               PF_OutFlag2_FLOAT_COLOR_AWARE |
               PF_OutFlag2_PPRO_DO_NOT_CLONE_SEQUENCE_DATA_FOR_RENDER) == 0x00009408,
              "After Effects out_flags2 word");

// The version word: both worked examples, and the decoders taking them apart again.
static_assert(PF_VERSION(2, 0, 0, PF_Stage_DEVELOP, 1) == 0x00100001, "PF_VERSION example 1");
static_assert(PF_VERSION(1, 0, 0, PF_Stage_RELEASE, 1) == 0x00080601, "PF_VERSION example 2");
static_assert(PF_VERSION(13, 9, 5, PF_Stage_BETA, 300) ==
                  ((1U << 26) | (5U << 19) | (9U << 15) | (5U << 11) | (2U << 9) | 300U),
              "versions above 7 continue in bits 26-29");
static_assert(PF_Version_VERS(PF_VERSION(13, 9, 5, PF_Stage_BETA, 300)) == 13 &&
                  PF_Version_SUBVERS(PF_VERSION(13, 9, 5, PF_Stage_BETA, 300)) == 9 &&
                  PF_Version_BUGFIX(PF_VERSION(13, 9, 5, PF_Stage_BETA, 300)) == 5 &&
                  PF_Version_STAGE(PF_VERSION(13, 9, 5, PF_Stage_BETA, 300)) == PF_Stage_BETA &&
                  PF_Version_BUILD(PF_VERSION(13, 9, 5, PF_Stage_BETA, 300)) == 300,
              "PF_Version_* decode what PF_VERSION packs");

// Pixel formats: the bytes in memory spell the code (least significant byte first).
static_assert(PF_PixelFormat_ARGB32 == 0x62677261 && PF_PixelFormat_ARGB64 == 0x36316561 &&
                  PF_PixelFormat_ARGB128 == 0x32336561 && PF_PixelFormat_BGRA32 == 0x61726762 &&
                  PF_PixelFormat_VUYA32 == 0x61797576 && PF_PixelFormat_NTSCDV25 == 0x326E7664 &&
                  PF_PixelFormat_PALDV25 == 0x32707664 && PF_PixelFormat_INVALID == 0x66646162,
              "AE pixel formats");
static_assert(PrPixelFormat_BGRA_4444_8u == 0x61726762 &&
                  (A_long)PrPixelFormat_BGRA_4444_8u == PF_PixelFormat_BGRA32 &&
                  PrPixelFormat_VUYA_4444_8u == 0x61797576 &&
                  PrPixelFormat_BGRA_4444_16u == 0x61726742 &&
                  PrPixelFormat_BGRA_4444_32f == 0x61724742 &&
                  (A_long)PrPixelFormat_ARGB_4444_8u == PF_PixelFormat_ARGB32 &&
                  PrPixelFormat_Invalid == 0x66646162 && PrPixelFormat_Any == 0,
              "Premiere Pro pixel formats");

// 16.16 fixed point, negative values included.
static_assert(A_Fixed_ONE == 0x10000 && A_Fixed_HALF == 0x8000, "one and a half");
static_assert(INT2FIX(45) == 45 * 65536 && INT2FIX(10000) == 655360000, "INT2FIX");
#ifndef GLFX_REAL_AE_SDK
// Ours shifts through the unsigned type, so negative positions are no undefined shift.
static_assert(INT2FIX(-3) == -3 * 65536, "INT2FIX of a negative value");
#endif
static_assert(FIX2INT(-3 * 65536) == -3 && FIX2INT(-1) == -1 && FIX2INT(0x18000) == 1,
              "FIX2INT shifts arithmetically (toward minus infinity)");
static_assert(FIX2INT_ROUND(0x18000) == 2 && FIX2INT_ROUND(0x17FFF) == 1, "FIX2INT_ROUND");
static_assert(FLOAT2FIX(1.5) == 0x18000 && FLOAT2FIX(-1.5) == -0x18000 &&
                  FLOAT2FIX(0.5 / 65536) == 1 && FLOAT2FIX(-0.5 / 65536) == -1,
              "FLOAT2FIX rounds half away from zero");
static_assert(FIX_2_FLOAT(0x8000) == 0.5 && FIX_2_FLOAT(-0x10000) == -1.0, "FIX_2_FLOAT");
static_assert(PF_Fixed_MINVAL == INT32_MIN && PF_Fixed_MAXVAL == INT32_MAX, "fixed range");
static_assert(CONVERT8TO16(0) == 0 && CONVERT8TO16(255) == 32768 && CONVERT8TO16(128) == 16448,
              "CONVERT8TO16");

static_assert(AEGP_DynStreamFlag_HIDDEN == 2 && AEGP_DynStreamFlag_ACTIVE_EYEBALL == 1 &&
                  AEGP_DynStreamFlag_SKIP_REVEAL_WHEN_UNHIDDEN == 0x10000,
              "dynamic stream flags");

// Numeric suite versions differ from the digits in the struct names.
static_assert(kSPBasicSuiteVersion == 4 && kPFHandleSuiteVersion1 == 2 &&
                  kPFWorldSuiteVersion2 == 2 && kPFParamUtilsSuiteVersion1 == 2 &&
                  kPFParamUtilsSuiteVersion3 == 3,
              "effect suite versions");

#ifndef GLFX_REAL_AE_SDK
// These constant names were not confirmed against header text.
static_assert(kPFANSISuiteVersion1 == 1 && kPFPixelFormatSuiteVersion1 == 1 &&
                  kAEGPUtilitySuiteVersion3 == 7 && kAEGPPFInterfaceSuiteVersion1 == 1 &&
                  kAEGPStreamSuiteVersion2 == 7 && kAEGPDynamicStreamSuiteVersion2 == 2 &&
                  kAEGPEffectSuiteVersion2 == 2,
              "suite versions");

// Four-character keys are the big-endian reading of their letters.
static_assert(PIKindProperty == fourChars("kind") && PIWin64X86CodeProperty == fourChars("8664") &&
                  PIWin32X86CodeProperty == fourChars("wx86"),
              "PiPL keys");
#endif
// The effect properties' vendor, '8BIM', is another code.
static_assert(PIAdobeVendorID == fourChars("ADBE"), "PIAdobeVendorID");

// Pixel format codes are the little-endian reading instead, so the two never agree.
static_assert(fourChars("argb") == 0x61726762 && fourChars("argb") != PF_PixelFormat_ARGB32,
              "format codes are not four-character keys");
