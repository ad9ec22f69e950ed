// An instance's GPU renderer: its private GL context, one program per pass, the textures of the
// input layers and of the pass results. Built by buildPrograms, drawn by renderFrame, released by
// releaseResources.
//
// What effect shaders are written against:
//   sampler2D "in0" ... "in31"  texture unit k, bound to what slot k of the pass's routing names
//                               (a layer, or a pass result); the list ends at the first 999
//   float "time"                currentTime * 0.0001
//   vec2  "resolution"          (outputWidth, outputHeight)
//   float "pixelratio"          pixelAspect
//   vec2  "downsample"          (downsampleX, downsampleY)
//   vec2  "cells"               (cellsx, cellsy) of the description
//   each spec's `uniform`       int for none/int/check/popup, float for float/angle/others, vec2
//                               for point and for a float2 with the next spec, vec3 for color
// The quad covers (0, 0) ... (W, H) with texture coordinates 0 ... 1 on unit 0, under an
// orthographic projection and an identity model-view matrix. Row 0 of every buffer is row 0 of
// the textures (the bottom row in GL terms); nothing is flipped.
//
// Pass results are stored as GL_RGBA32F with fragment colour clamping on, so every pass keeps the
// 0...1 range effects are written for at full float precision.
//
// Threads and contexts: one renderer per instance, used only on that instance's command thread.
// Every public operation that issues GL calls activates the private context and deactivates it
// before returning, so the host's binding is current again afterwards. Nothing throws out of
// buildPrograms, releaseResources or renderFrame.
#pragma once

#include "effect/EffectDescription.h"
#include "gl/GlContext.h"
#include "gl/GlObjects.h"
#include "records/SequenceState.h"

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace glfx {

class GlRenderer {
public:
    // One compiler or linker log of the last build, with where it came from.
    struct BuildMessage {
        int32_t pass;
        GLenum stage; // GL_VERTEX_SHADER, GL_FRAGMENT_SHADER, or 0 for the link
        std::string log;
    };

    GlRenderer();
    // Releases the programs and textures when the context is still valid; after the context was
    // closed (flatten closes it first) it makes no GL call at all. Never closes the context.
    virtual ~GlRenderer();

    GlRenderer(const GlRenderer&) = delete;
    GlRenderer& operator=(const GlRenderer&) = delete;

    // Releases the previous build, then compiles and links one program per pass from
    // `preamble` + the pass text and the vertex text. Every log goes into `errorText`, in pass
    // order, with nothing between them (and into `buildMessages` with its pass and stage).
    // `programsOk` ends true only when nothing failed. On a context that is not valid nothing is
    // built, `programsOk` stays false and `errorText` says why. Returns 0 when the build ran to its
    // end, -1 when it stopped early; callers look at `programsOk` instead.
    int32_t buildPrograms(std::string preamble);

    // Compiles one stage. An empty source gives no shader and makes no GL call. A failure appends
    // the whole info log to `log` and gives no shader. Needs the context active.
    GlShader compileShader(GLenum stage, const std::string& source, std::string& log);

    // Deletes the programs and textures (with the context active). Without a valid context it only
    // forgets them: they died with it. `errorText` and `programsOk` stay.
    void releaseResources();

    // Draws one frame of `state` and reads the last pass back into `state.resultBuffer`.
    //
    // Inputs: for each layer slot k below `layerCount`, `layerBuffers[k]` holds layerWidth[k] x
    // layerHeight[k] pixels, rows packed, 4 components in GL_RGBA order of `pixelType`: GL_FLOAT
    // (four floats) or GL_UNSIGNED_INT_8_8_8_8_REV (four bytes, r in the lowest). A slot with no
    // buffer or no size keeps the image it had. Frame facts: outputWidth/outputHeight (W x H),
    // currentTime, downsampleX/Y, pixelAspect; parameter values from paramValues.
    //
    // Output: W x H pixels of `pixelType` in resultBuffer, rows packed. The buffer is grown here,
    // never shrunk: when W x H exceeds resultAllocWidth x resultAllocHeight (or it is null) it is
    // replaced by `new float[4 * W * H]` and the two sizes set to W and H, so its owner frees it
    // with `delete[]`.
    //
    // Returns false, without reading anything back, when the programs are not all good, the
    // description has no pass, W or H is below 1 or above GL_MAX_TEXTURE_SIZE (a layer too), the
    // pixel type is another, a framebuffer is incomplete, or a GL error or allocation failure
    // happened. The first call builds the programs with an empty preamble when no build ran yet.
    // After the first frame at a size no allocation and no build happens here.
    bool renderFrame(SequenceState& state, GLenum pixelType);

    // Where one layer's pixels come from instead of its staging buffer: rows the host owns,
    // `rowPixels` pixels apart, which GL reads as they lie (no copy on the CPU).
    struct LayerSource {
        const void* pixels = nullptr;
        int32_t rowPixels = 0;
    };
    // How the layers go to GL and the result comes back: the layers are uploaded with
    // uploadFormat/uploadType and the result read back as GL_RGBA of readType.
    struct PixelTypes {
        GLenum uploadFormat; // GL_RGBA, or GL_BGRA
        GLenum uploadType;   // GL_FLOAT or one of the 8-bit types below
        GLenum readType;     // GL_FLOAT or GL_UNSIGNED_INT_8_8_8_8_REV
        // The input textures show red, green, blue, alpha from their stored green, blue, alpha,
        // red: alpha, red, green, blue floats uploaded as they lie are sampled as RGBA. Needs
        // canSwizzle.
        bool argbSwizzle = false;
        // Per layer slot: read from here where `pixels` is set, else from layerBuffers.
        const std::array<LayerSource, kMaxLayers>* sources = nullptr;
        // When set, the result is read back a strip of rows at a time into the start of
        // resultBuffer and handed to `take` while it is still in the cache (rows firstRow ...
        // firstRow + rows - 1, packed, of readType), instead of being read back whole.
        void (*take)(void* context, int32_t firstRow, int32_t rows, const void* pixels) = nullptr;
        void* takeContext = nullptr;
    };
    // renderFrame with the layers in one of these forms (anything else fails the frame):
    // GL_RGBA of GL_FLOAT or GL_UNSIGNED_INT_8_8_8_8_REV, as above; or host bytes that GL itself
    // normalises and reorders: GL_BGRA of GL_UNSIGNED_INT_8_8_8_8 (alpha, red, green, blue in
    // memory), GL_BGRA of GL_UNSIGNED_BYTE (blue, green, red, alpha) or GL_RGBA of
    // GL_UNSIGNED_INT_8_8_8_8 (the latter read as alpha, red, green, blue), four bytes a pixel.
    bool renderFrame(SequenceState& state, const PixelTypes& types);

    // What GL stores in an input texture for `width` x 1 pixels given as `format`/`type`, read
    // back as RGBA floats; empty when the context is not usable or GL refused. Lets the render
    // path check, once per driver, that GL converts host bytes exactly as the CPU would before
    // handing it that work.
    std::vector<float> probeUpload(GLenum format, GLenum type, const void* pixels, int32_t width);
    // Answers of such checks, kept for the renderer's life by whoever asked (key of their choice).
    std::vector<std::pair<uint64_t, bool>> uploadChecks;

    GLuint program(int32_t pass) const;
    GLuint inputTexture(int32_t layer) const;
    GLuint passTexture(int32_t pass) const;
    const std::string& samplerName(int32_t slot) const { return samplerNames_.at(slot); }

    std::string errorText;
    std::vector<BuildMessage> buildMessages;
    bool programsOk = false;
    // The driver can swizzle texture channels (GL 3.3, ARB or EXT_texture_swizzle); known after
    // the first build.
    bool canSwizzle = false;
    const EffectDescription* effectDescription = nullptr; // not owned
    bool resourcesAllocated = false;
    // Set by the render path once it has told the user about a frame it could not draw, so the
    // message comes once per build; the render path clears it whenever it starts a build.
    bool failureShown = false;
    GlContext context;

private:
    enum class UniformKind : uint8_t { Int, Float, Float2Pair, Vec2, Vec3 };
    struct UniformSetter {
        GLint location;
        UniformKind kind;
        int32_t index; // parameter entry
    };
    struct SamplerBinding {
        GLenum unit;
        GLuint texture; // 0 for a source outside the tables
    };
    // What one pass sets per frame, found once per build.
    struct PassPlan {
        GLint time = -1;
        GLint resolution = -1;
        GLint pixelratio = -1;
        GLint downsample = -1;
        GLint cells = -1;
        std::vector<SamplerBinding> samplers;
        std::vector<UniformSetter> uniforms;
    };
    struct Size {
        int32_t width = 0;
        int32_t height = 0;
        bool operator!=(const Size& other) const {
            return width != other.width || height != other.height;
        }
    };

    int32_t build(const std::string& preamble);
    void buildPass(int32_t pass, const std::string& preamble);
    void planPass(int32_t pass);
    bool drawFrame(SequenceState& state, const PixelTypes& types, int32_t passCount);
    void setSamplingParameters() const;
    void abandonResources();

    std::array<GlProgram, kMaxPasses> programs_;
    std::array<GlTexture, kMaxLayers> inputTextures_;
    std::array<GlTexture, kMaxPasses> passTextures_;
    std::array<std::string, kMaxSlots> samplerNames_;
    std::array<PassPlan, kMaxPasses> plans_;
    std::array<Size, kMaxLayers> inputSizes_;
    std::array<Size, kMaxPasses> passSizes_;
    std::array<bool, kMaxPasses> passComplete_{};
    std::array<bool, kMaxLayers> inputSwizzled_{};
    int32_t builtPasses_ = 0;
};

} // namespace glfx
