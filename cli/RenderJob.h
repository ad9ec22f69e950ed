// One `glfx render` run: the plug-in library loaded through the emulated host, one instance of
// the effect with the user's values, keyframes and layers, and frames rendered one at a time.
//
// A frame is decoded (loadFrame) apart from being rendered (renderFrame), so that the caller can
// decode the next frame on another thread while the plug-in draws this one; the pictures go into
// the host's own layout at the frame's depth straight from the files, in buffers reused from
// frame to frame.
//
// Error policy: every failure throws CommandError (or ImageError, for a file) with one line naming
// what went wrong (a file, a parameter, a frame) and what to do. Nothing is written here; the
// caller writes the pictures.
#pragma once

#include "Files.h"
#include "ImageIO.h"
#include "ValueParse.h"

#include "effect/EffectDescription.h"
#include "hostsim/Host.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace glfx::cli {

class RenderJob {
public:
    RenderJob() = default;
    // Sets the plug-in down (when finish was not reached), unloads it, then removes the temporary
    // library and folder.
    ~RenderJob();
    RenderJob(const RenderJob&) = delete;
    RenderJob& operator=(const RenderJob&) = delete;

    hostsim::HostApp app = hostsim::HostApp::AfterEffects;
    hostsim::RenderPath path = hostsim::RenderPath::Smart;
    // The input: an image, a sequence pattern, or (when empty) a transparent picture of
    // blankWidth x blankHeight.
    std::string input;
    int32_t blankWidth = 0;
    int32_t blankHeight = 0;
    // The After Effects project depth; 0 takes the input file's. Premiere Pro renders 8 bits.
    int bpc = 0;

    // Whole frames per second: time scale fps and step 1; others: scale fps x 100, step 100.
    void setFrameRate(double fps);
    // The last frame the host's 32-bit time reaches at that rate (the first is its negative).
    int64_t lastFrame() const { return 2147483647 / timeStep_; }

    // An effect file is packed into a temporary copy of the template library. A library (as
    // `effectPath` or `pluginPath`) is loaded as it is; with neither, the built-in effect's
    // library. Except for the template library, which reads its code from the per-user folder,
    // that folder is pointed into a temporary folder for this process, so it is never written.
    void load(const std::string& effectPath, const std::string& pluginPath);

    // By display name, then uniform name, then display name ignoring case. The value is one
    // value or keyframes "FRAME:VALUE;FRAME:VALUE...". Layers and topics take no value.
    void setParam(const std::string& name, const std::string& value);
    // A layer parameter shows an image, or a sequence read at each frame plus the parameter's
    // time offset.
    void setLayer(const std::string& name, const std::string& file);

    // Global, parameter and sequence set-up, then the values as a user sets them (each constant
    // value with the host's change command, as after a user's edit).
    void start();

    // What one frame shows, decoded in the frame's layout.
    struct FrameInputs {
        int64_t frame = 0;
        int depth = 8;
        // The input at the frame, and at the times layer parameters showing it read; empty when
        // the input is one picture for every frame.
        hostsim::Clip input;
        // Layer parameters whose picture changes: sequences at each frame, still files once.
        std::map<int, hostsim::Clip> layers;
        std::vector<std::string> warnings;
        std::vector<hostsim::Image> spare; // buffers of earlier frames, for the next ones
    };

    // Decodes frame `frame` into `into`, reusing its buffers. Image files are opened and their
    // headers checked (size, the GPU's largest texture) before any pixel is allocated. Runs on any
    // thread, also while renderFrame draws another FrameInputs; loadFrame calls themselves must
    // follow one another.
    void loadFrame(int64_t frame, FrameInputs& into);

    // Renders a loaded frame into `out` (its buffer reused when the size stays) at the frame's
    // depth: 8, 16 or 32 bits, Premiere Pro's 8-bit BGRA. On the thread that called start().
    void renderFrame(FrameInputs& inputs, hostsim::Image& out);

    // Sequence and global set-down, once.
    void finish();

    const std::vector<std::string>& warnings() const { return warnings_; }
    // What the host noticed the plug-in doing wrong, for the user to report.
    std::vector<std::string> hostProblems() const;

    const EffectDescription& description() const { return description_; }
    const std::string& libraryPath() const { return library_; }

private:
    struct Layer {
        std::string file;
        bool sequence = false;
        bool warnedMissing = false;
    };

    int findParam(const std::string& name) const;
    PF_ParamDefUnion toUnion(int index, const ParamValue& value) const;
    A_long hostTime(double frame) const;
    int64_t layerOffset(int index) const;
    int frameDepth(int fileDepth) const;
    hostsim::ChannelOrder frameOrder() const;
    // Opens `path` and refuses a picture the GPU cannot take, before its pixels are decoded.
    std::unique_ptr<ImageFile> open(const std::string& path) const;
    void decode(const std::string& path, int depth, hostsim::Image& into) const;
    void redirectConfigHome();
    void restoreConfigHome();

    std::unique_ptr<TemporaryFolder> temporary_;
    std::unique_ptr<hostsim::Host> host_;
    hostsim::Instance* instance_ = nullptr;
    std::string label_; // the effect as the user named it, for messages
    std::string library_;
    EffectDescription description_;
    std::map<int, ValueTrack> params_;
    std::map<int, Layer> layers_;
    // Written by loadFrame alone: its first call decodes the stills, which stay as they are.
    hostsim::Clip inputStill_; // an input that is one picture (or --size's blank one)
    bool stillsLoaded_ = false;
    bool inputWarned_ = false;
    A_u_long timeScale_ = 24;
    A_long timeStep_ = 1;
    bool finished_ = false;
    bool configRedirected_ = false;
    bool hadConfigHome_ = false;
    std::string savedConfigHome_;
    std::vector<std::string> warnings_;
};

} // namespace glfx::cli
