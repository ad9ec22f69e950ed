// An instance's GPU renderer: its private GL context, one program per pass, the textures of the
// input layers and of the pass results. Built by buildPrograms, drawn by renderFrame, released by
// releaseResources.
//
// What effect shaders are written against:
//   sampler2D "in0" ... "in31"  texture unit k, bound to what slot k of the pass's routing names
//                               (a layer, a pass result, or a pass's previous result); the list
//                               ends at the first 999
//   float "time"                hostTime * 0.0001
//   vec2  "resolution"          the output's size
//   float "pixelratio"          pixelAspect
//   vec2  "downsample"          (downsampleX, downsampleY)
//   vec2  "cells"               (cellsx, cellsy) of the description
//   each spec's `uniform`       int for none/int/check/popup, float for float/angle/others, vec2
//                               for point and for a float2 with the next spec, vec3 for color
//   and, set only in programs that declare them (the "glfx_" prefix is the system's):
//   float glfx_Time, glfx_TimeDelta, glfx_FrameRate   seconds since the layer's start, seconds
//                               of one frame, frames per second
//   int   glfx_Frame, glfx_PassIndex                  frame since the layer's start, this pass
//   vec4  glfx_Date             year, month, day, seconds since midnight
//   vec2  glfx_RenderSize       this pass's size in pixels
//   vec2  glfx_InSize[32]       the size in pixels of what slot k reads (0, 0 for none)
// Each pass draws a quad over (0, 0) ... (W, H), its own size (the output's unless its
// "psN_width"/"psN_height" expressions say otherwise; the last pass always the output's), with
// texture coordinates 0 ... 1 on unit 0, under an orthographic projection and an identity
// model-view matrix. Row 0 of every buffer is row 0 of the textures (the bottom row in GL terms);
// nothing is flipped.
//
// Pass results are stored as GL_RGBA32F with fragment colour clamping on, so every pass keeps the
// 0...1 range effects are written for at full float precision; a pass marked "psN_float=1" is not
// clamped. A frame whose layers and result have 8 bits a channel keeps its layers and the results
// of its other passes in 8-bit textures, a quarter of the memory: nothing there needs more. A persistent pass renders into
// one of two sets of textures while the other holds its previous result (8 bits a channel unless
// it asks for floats), so no pass samples the texture it draws into; it starts from that previous
// result, so a fragment it discards keeps last frame's value.
//
// Threads and contexts: one renderer per instance, used only on that instance's command thread.
// Every public operation that issues GL calls activates the private context and deactivates it
// before returning, so the host's binding is current again afterwards. Nothing throws out of
// buildPrograms, releaseResources, renderFrame or the kept-result operations.
#pragma once

#include "effect/EffectDescription.h"
#include "effect/SizeExpression.h"
#include "gl/FrameInput.h"
#include "gl/GlContext.h"
#include "gl/GlObjects.h"

#include <array>
#include <memory>
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
        bool warning = false; // told, but the pass was built
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

    // Draws one frame: uploads the layers, runs the passes, and hands the last pass's result to
    // frame.take a strip at a time (nothing is read back without it). Layers come as GL_RGBA of
    // GL_FLOAT or GL_UNSIGNED_INT_8_8_8_8_REV, or as host bytes GL itself normalises and
    // reorders: GL_BGRA of GL_UNSIGNED_INT_8_8_8_8 (alpha, red, green, blue in memory), GL_BGRA
    // of GL_UNSIGNED_BYTE (blue, green, red, alpha) or GL_RGBA of GL_UNSIGNED_INT_8_8_8_8.
    //
    // Returns false, without reading anything back, when the programs are not all good, the
    // description has no pass, a size is below 1 or above GL_MAX_TEXTURE_SIZE (a layer or a pass
    // too), a pixel type is another, a framebuffer is incomplete, or a GL error or allocation
    // failure happened. The first call builds the programs with an empty preamble when no build
    // ran yet. After the first frame at a size no allocation and no build happens here.
    bool renderFrame(const FrameInput& frame);

    // The persistent passes' kept results of `set` (0 or 1), read back; false when the context is
    // not usable. Passes whose set holds nothing yet are left out.
    bool readKept(int32_t set, std::vector<KeptImage>& images);
    // Sets `set` to these results (passes not among them hold nothing, read as transparent black).
    bool writeKept(int32_t set, const std::vector<KeptImage>& images);
    // `set` holds nothing: every persistent pass reads transparent black from it.
    void clearKept(int32_t set);
    // Bytes the two sets take on the GPU now.
    size_t keptBytes() const;
    // What the render path says each set holds (which frame, computed from what). Emptied here
    // whenever the set's contents are lost or being replaced: a rebuild, a release, clearKept,
    // writeKept, and a frame that writes the set, until that frame has been drawn whole.
    std::array<std::vector<uint8_t>, 2> keptLabels;

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
    // The size pass `pass` drew at in the last frame.
    std::pair<int32_t, int32_t> passSize(int32_t pass) const;
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
        int32_t source;          // a routing source; one outside the tables binds nothing
        GLint sizeLocation = -1; // glfx_InSize[k]
    };
    // What one pass sets per frame, found once per build.
    struct PassPlan {
        GLint time = -1;
        GLint resolution = -1;
        GLint pixelratio = -1;
        GLint downsample = -1;
        GLint cells = -1;
        GLint seconds = -1;
        GLint frameSeconds = -1;
        GLint frameIndex = -1;
        GLint framesPerSecond = -1;
        GLint date = -1;
        GLint renderSize = -1;
        GLint passIndex = -1;
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
    // A texture and the size and format GL holds for it.
    struct Target {
        GlTexture texture;
        Size size;
        GLenum format = 0;
        bool complete = false; // checked against the framebuffer at this size
    };
    // A pass's size expressions, parsed once per build.
    struct SizeRule {
        std::unique_ptr<SizeExpression> width;
        std::unique_ptr<SizeExpression> height;
    };

    int32_t build(const std::string& preamble);
    void buildPass(int32_t pass, const std::string& preamble);
    void buildSizeRule(int32_t pass);
    void planPass(int32_t pass);
    bool drawFrame(const FrameInput& frame, int32_t passCount);
    bool uploadLayers(const FrameInput& frame, GLint maxSize);
    Size passSizeFor(int32_t pass, int32_t passCount, const FrameInput& frame);
    bool prepareTarget(Target& target, Size size, GLenum format, bool clear);
    void drawPass(int32_t pass, const FrameInput& frame, Size size);
    GLuint sourceTexture(int32_t source, int32_t readingPass, int32_t keptWrite, Size* size) const;
    bool readBack(const FrameInput& frame, Size size);
    bool isPersistent(int32_t pass) const;
    GLenum keptFormat(int32_t pass) const;
    GLenum passFormat(int32_t pass, const FrameInput& frame) const;
    void setSamplingParameters() const;
    void abandonResources();

    std::array<GlProgram, kMaxPasses> programs_;
    std::array<GlTexture, kMaxLayers> inputTextures_;
    std::array<Target, kMaxPasses> passTargets_;
    // The two sets of persistent passes' results; the frame reads one and writes the other.
    std::array<std::array<Target, kMaxPasses>, 2> kept_;
    std::array<std::string, kMaxSlots> samplerNames_;
    std::array<PassPlan, kMaxPasses> plans_;
    std::array<SizeRule, kMaxPasses> sizeRules_;
    std::vector<std::string> sizeNames_; // the values size expressions may name
    std::vector<int32_t> sizeParams_;    // their parameter entries
    std::array<Size, kMaxLayers> inputSizes_;
    std::array<GLenum, kMaxLayers> inputFormats_{};
    std::array<Size, kMaxPasses> drawnSizes_;
    std::array<bool, kMaxLayers> inputSwizzled_{};
    std::vector<uint8_t> strip_; // read-back strips
    int32_t builtPasses_ = 0;
};

} // namespace glfx
