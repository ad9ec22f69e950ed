// Pixel transfers between host worlds and the renderer's staging buffers.
//
// Staging buffers hold rows packed without gaps: four floats per pixel, except for the raw 8-bit
// transfer, which keeps the host's four bytes. Converting transfers give the shaders red, green,
// blue, alpha in 0...1; raw ones keep the host's alpha, red, green, blue order. Nothing is
// premultiplied, flipped or allocated here; the sizes given are trusted.
#pragma once

#include "AE_Effect.h"
#include "AE_EffectPixelFormat.h"

#include <cstdint>

namespace glfx {

enum class Transfer {
    Converting8,             // After Effects ARGB bytes <-> RGBA floats
    Converting8Premiere,     // Premiere Pro BGRA bytes <-> RGBA floats
    Converting8PremiereFast, // Premiere Pro BGRA bytes <-> ARGB floats
    Raw8,                    // bytes copied as they are
    Converting16,            // ARGB 0...32768 <-> RGBA floats
    Raw16,                   // ARGB 0...32768 <-> ARGB floats
    Converting32,            // ARGB floats <-> RGBA floats
    Raw32,                   // floats copied as they are
};

// The transfer for an output world's pixel format; false for a format outside the three host
// depths (the frame then answers PF_Err_BAD_CALLBACK_PARAM).
bool chooseTransfer(PF_PixelFormat format, bool fast, bool hostIsPremiere, Transfer* out);

// The GL pixel type of the staging buffers: GL_FLOAT, or GL_UNSIGNED_INT_8_8_8_8_REV for raw 8-bit.
uint32_t stagingPixelType(Transfer transfer);

// Bytes one staged pixel occupies.
int stagingPixelBytes(Transfer transfer);

// For the three converting 8-bit transfers: the GL format and type under which GL itself turns
// the host's four bytes, staged unchanged (as Raw8 stages them), into the red, green, blue, alpha
// this transfer stages as floats, normalised by GL instead of scaled here. False for the others.
bool packedUpload(Transfer transfer, uint32_t* format, uint32_t* type);

// Converts one host world into a staging buffer of width x height pixels. A null world or one
// without pixels stages transparent black.
void uploadWorld(Transfer transfer, const PF_EffectWorld* world, int32_t width, int32_t height,
                 void* staging);

// Converts a staging buffer of output->width x output->height pixels into the output world.
// Integer depths clamp to the channel range (NaN gives 0) and round to the nearest step inside it.
void downloadWorld(Transfer transfer, const void* staging, PF_EffectWorld* output);

// The same for output rows first ... first + rows - 1 only, from a staging buffer that holds just
// those rows (output->width pixels each).
void downloadRows(Transfer transfer, const void* staging, PF_EffectWorld* output, int32_t first,
                  int32_t rows);

} // namespace glfx
