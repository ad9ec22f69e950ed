// One `glfx render` run: the plug-in library loaded through the emulated host, one instance of
// the effect with the user's values, keyframes and layers, and frames rendered one at a time.
//
// Error policy: every failure throws CommandError with one line naming what went wrong (a file,
// a parameter, a frame) and what to do. Nothing is written here; the caller writes the pictures.
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

    // The frame at frame number `frame`, in the output's depth (8, 16 or 32).
    Image renderFrame(int64_t frame);

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
        Image still;
        bool loaded = false;
    };

    int findParam(const std::string& name) const;
    PF_ParamDefUnion toUnion(int index, const ParamValue& value) const;
    A_long hostTime(double frame) const;
    int64_t layerOffset(int index) const;
    hostsim::Image loadInput(int64_t frame, int depth, bool required);
    int frameDepth(const Image& first) const;
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
    Image inputStill_;
    bool inputLoaded_ = false;
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
