// glfx render [EFFECT.glfx] -i INPUT -o OUTPUT [options]
//
// The plug-in is loaded through the emulated host exactly as the application loads it: an effect
// file is first packed into a temporary copy of the template library (the per-user folder is
// pointed at the temporary folder meanwhile, so the user's own is never written), a library is
// loaded as it is. Every frame goes through the host's render commands; a frame the plug-in
// reports it could not draw is a failure, not a picture.
//
// A range is a pipeline of three threads: while the plug-in draws frame N on this one, the next
// frame's files are decoded on one background thread and frame N - 1 is encoded on another, each
// into buffers of its own that alternate between two frames.
#include "Background.h"
#include "Commands.h"
#include "EffectSource.h"
#include "FileSystem.h"
#include "Files.h"
#include "ImageIO.h"
#include "RenderJob.h"
#include "ValueParse.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>
#include <regex>

namespace glfx::cli {
namespace {

struct RenderOptions {
    std::string effectPath;
    std::string pluginPath;
    std::string input;
    std::string output;
    std::string size;
    std::vector<std::string> params;
    std::vector<std::string> layers;
    std::string frames;
    int64_t time = 0;
    double fps = 24.0;
    std::string host = "ae";
    std::string path = "smart";
    int depth = 0;
    int bpc = 0;
    std::string pngCompression = "fast";
    double timeout = 0.0;
    bool quiet = false;
};

// A frame number; one too long for 64 bits comes back as 18 nines, which no frame reaches.
int64_t frameNumber(const std::string& digits) {
    const bool negative = digits[0] == '-';
    std::string magnitude = digits.substr(negative ? 1 : 0);
    magnitude.erase(0, std::min(magnitude.find_first_not_of('0'), magnitude.size() - 1));
    const int64_t value = magnitude.size() > 18 ? 999999999999999999 : std::stoll(magnitude);
    return negative ? -value : value;
}

// "A-B", "A..B" or "A", frame numbers the host's time reaches.
void parseFrames(const std::string& text, int64_t lastFrame, int64_t& first, int64_t& last) {
    static const std::regex range(R"(^\s*(-?\d+)\s*(?:(?:\.\.|-)\s*(-?\d+))?\s*$)");
    std::smatch m;
    if (!std::regex_match(text, m, range))
        throw CommandError("--frames \"" + text +
                           "\" is not a frame range; write FIRST-LAST, "
                           "as in --frames 0-47");
    first = frameNumber(m[1].str());
    last = m[2].matched ? frameNumber(m[2].str()) : first;
    if (last < first) throw CommandError("--frames " + text + " ends before it starts");
    for (const int64_t frame : {first, last})
        if (frame < -lastFrame || frame > lastFrame)
            throw CommandError("--frames " + text + ": frame " + std::to_string(frame) +
                               " is outside the host's time line, which at this --fps runs "
                               "from frame " +
                               std::to_string(-lastFrame) + " to " + std::to_string(lastFrame));
}

void parseSize(const std::string& text, int32_t& width, int32_t& height) {
    static const std::regex size(R"(^\s*(\d{1,5})\s*[xX]\s*(\d{1,5})\s*$)");
    std::smatch m;
    if (!std::regex_match(text, m, size))
        throw CommandError("--size \"" + text +
                           "\" is not a size; write WIDTHxHEIGHT, as in "
                           "--size 320x180");
    width = std::stoi(m[1].str());
    height = std::stoi(m[2].str());
    if (width < 1 || height < 1 || width > kMaxImageSide || height > kMaxImageSide)
        throw CommandError("--size " + text + " is outside 1 ... " + std::to_string(kMaxImageSide) +
                           " pixels a side");
}

// "NAME=VALUE"; the name may hold blanks, the value anything.
std::pair<std::string, std::string> splitAssignment(const std::string& text, const char* option) {
    const size_t eq = text.find('=');
    if (eq == std::string::npos || eq == 0)
        throw CommandError(std::string(option) + " \"" + text +
                           "\" needs the form NAME=VALUE (a parameter's name or uniform)");
    return {text.substr(0, eq), text.substr(eq + 1)};
}

class Progress {
public:
    Progress(int64_t total, bool quiet) : total_(total), quiet_(quiet || total < 2) {
        terminal_ = isTerminal(stderr);
    }
    bool onTerminal() const { return !quiet_ && terminal_; }
    void frameDone(int64_t done, int64_t frame, const std::string& file) {
        if (quiet_) return;
        if (!terminal_) {
            std::fprintf(stderr, "frame %lld (%lld/%lld) -> %s\n", static_cast<long long>(frame),
                         static_cast<long long>(done), static_cast<long long>(total_),
                         file.c_str());
            return;
        }
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - begin_).count();
        const int width = 30;
        const int filled = int(done * width / total_);
        std::fprintf(stderr, "\r[%s%s] %lld/%lld frame %lld, %.1f frames/s",
                     std::string(size_t(filled), '#').c_str(),
                     std::string(size_t(width - filled), '.').c_str(), static_cast<long long>(done),
                     static_cast<long long>(total_), static_cast<long long>(frame),
                     seconds > 0.0 ? double(done) / seconds : 0.0);
        if (done == total_) std::fputc('\n', stderr);
        std::fflush(stderr);
    }
    // A message must not land inside the bar.
    void interrupt() {
        if (onTerminal()) std::fputc('\n', stderr);
    }

private:
    int64_t total_;
    bool quiet_;
    bool terminal_ = false;
    std::chrono::steady_clock::time_point begin_ = std::chrono::steady_clock::now();
};

PngCompression pngCompressionOf(const std::string& name) {
    if (name == "small") return PngCompression::Small;
    if (name == "medium") return PngCompression::Medium;
    return PngCompression::Fast;
}

int runRender(const RenderOptions& o) {
    RenderJob job;
    if (!o.effectPath.empty() && !o.pluginPath.empty())
        throw CommandError("give an effect file or --plugin, not both");
    if (o.host == "ae")
        job.app = hostsim::HostApp::AfterEffects;
    else if (o.host == "premiere")
        job.app = hostsim::HostApp::PremierePro;
    job.path = o.path == "classic" ? hostsim::RenderPath::Classic : hostsim::RenderPath::Smart;
    if (!(o.fps > 0.0 && o.fps <= 1000.0))
        throw CommandError("--fps must be above 0 and at most 1000");
    job.setFrameRate(o.fps);

    // Everything the command line names is checked before the first frame is drawn.
    imageFormatOf(o.output);
    if (o.depth != 0) {
        const ImageFormat format = imageFormatOf(o.output);
        if ((format == ImageFormat::Png && o.depth != 8 && o.depth != 16) ||
            (format == ImageFormat::Exr && o.depth != 32))
            throw CommandError("--depth " + std::to_string(o.depth) + " does not fit " + o.output +
                               ": PNG files are 8 or 16 bits, OpenEXR files 32");
    }
    requireOutputFolder(o.output);

    int64_t first = o.time;
    int64_t last = o.time;
    const bool range = !o.frames.empty();
    if (range) parseFrames(o.frames, job.lastFrame(), first, last);
    if (!range && (o.time < -job.lastFrame() || o.time > job.lastFrame()))
        throw CommandError("--time " + std::to_string(o.time) +
                           " is outside the host's time line, which at this --fps runs from "
                           "frame " +
                           std::to_string(-job.lastFrame()) + " to " +
                           std::to_string(job.lastFrame()));
    const bool outputSequence = isFramePattern(o.output);
    if (last > first && !outputSequence)
        throw CommandError("--frames " + o.frames + " renders " + std::to_string(last - first + 1) +
                           " frames, but " + o.output +
                           " is one file; name a sequence such as out.####.png");

    if (o.input.empty() && o.size.empty())
        throw CommandError("give an input image with -i, or --size WIDTHxHEIGHT for an effect "
                           "that makes its own picture");
    if (!o.input.empty() && !o.size.empty()) throw CommandError("give -i or --size, not both");
    if (!o.size.empty()) parseSize(o.size, job.blankWidth, job.blankHeight);
    job.input = o.input;
    job.bpc = o.bpc;

    job.load(o.effectPath, o.pluginPath);
    for (const std::string& p : o.params) {
        const auto [name, value] = splitAssignment(p, "--param");
        job.setParam(name, value);
    }
    for (const std::string& l : o.layers) {
        const auto [name, file] = splitAssignment(l, "--layer");
        job.setLayer(name, file);
    }
    // Two of everything a frame holds: one pair in use by the frame being drawn, the other by the
    // frame being decoded (inputs) or encoded (outputs) beside it.
    RenderJob::FrameInputs inputs[2];
    hostsim::Image outputs[2];
    const auto slot = [first](int64_t frame) { return size_t((frame - first) & 1); };
    const auto fileOf = [&](int64_t frame) {
        return outputSequence ? framePath(o.output, frame) : o.output;
    };
    BackgroundTask decoder;
    BackgroundTask encoder;
    // The first frame decodes while the plug-in sets up.
    decoder.start([&] { job.loadFrame(first, inputs[0]); });
    job.start();
    size_t warned = 0;
    const auto showWarnings = [&] {
        for (; warned < job.warnings().size(); ++warned)
            std::cerr << "glfx render: warning: " << job.warnings()[warned] << "\n";
    };
    showWarnings();

    Progress progress(last - first + 1, o.quiet);
    // Frames are written in order: first ... written are on disk.
    std::atomic<int64_t> written{first - 1};
    const auto writtenNote = [&] {
        const int64_t done = written.load();
        if (!outputSequence || done < first) return std::string();
        return "; frames " + std::to_string(first) + " ... " + std::to_string(done) + " (" +
               fileOf(first) + " ... " + fileOf(done) + ") are written, the later ones not";
    };
    FrameWatchdog watchdog(o.timeout, [&](int64_t frame) {
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%g", o.timeout);
        return std::string(progress.onTerminal() ? "\n" : "") + "glfx render: frame " +
               std::to_string(frame) + " did not finish within " + seconds +
               " s (--timeout); the effect is too slow for this GPU at this size: render it "
               "smaller, simplify its shaders, or allow more time" +
               writtenNote();
    });
    WriteOptions writing;
    writing.depth = o.depth;
    writing.png = pngCompressionOf(o.pngCompression);

    try {
        for (int64_t frame = first; frame <= last; ++frame) {
            decoder.wait();
            RenderJob::FrameInputs& in = inputs[slot(frame)];
            if (frame < last)
                decoder.start([&, frame] { job.loadFrame(frame + 1, inputs[slot(frame + 1)]); });
            hostsim::Image& out = outputs[slot(frame)];
            watchdog.frameStarted(frame);
            job.renderFrame(in, out);
            watchdog.frameEnded();
            // The frame before is on disk once the encoder is free for this one.
            encoder.wait();
            if (frame > first) progress.frameDone(frame - first, frame - 1, fileOf(frame - 1));
            if (warned < job.warnings().size()) {
                progress.interrupt();
                showWarnings();
            }
            encoder.start([&, frame] {
                writeImage(fileOf(frame), outputs[slot(frame)], writing);
                written = frame;
            });
        }
        encoder.wait();
    } catch (const std::exception& e) {
        // The frame being written is finished first; that is not the frame's time.
        watchdog.frameEnded();
        progress.interrupt();
        try {
            encoder.wait();
        } catch (...) {
        }
        const std::string note = writtenNote();
        if (note.empty() || dynamic_cast<const std::bad_alloc*>(&e) != nullptr) throw;
        throw CommandError(e.what() + note);
    } catch (...) {
        watchdog.frameEnded();
        progress.interrupt();
        throw;
    }
    progress.frameDone(last - first + 1, last, fileOf(last));
    job.finish();
    showWarnings();
    for (const std::string& problem : job.hostProblems())
        std::cerr << "glfx render: warning: the emulated host saw a fault of the plug-in: "
                  << problem << "\n";
    return 0;
}

} // namespace

CLI::App* addRenderCommand(CLI::App& app, CommandRun& run) {
    auto o = std::make_shared<RenderOptions>();
    CLI::App* sub = app.add_subcommand(
        "render", "Render frames of an effect file or plug-in library through the emulated host");
    sub->add_option("effect", o->effectPath,
                    "effect file (.glfx) or ISF/Shadertoy source; without it, --plugin or the "
                    "built-in effect");
    sub->add_option("--plugin", o->pluginPath, "plug-in library to load instead of an effect file");
    sub->add_option("-i,--input", o->input,
                    "input image or sequence (PNG 8/16-bit, OpenEXR; frame.####.png)");
    sub->add_option("-o,--output", o->output, "output image or sequence (.png or .exr)")
        ->required();
    sub->add_option("--size", o->size, "without an input: a transparent input of WIDTHxHEIGHT");
    sub->add_option("-p,--param", o->params,
                    "NAME=VALUE or NAME=FRAME:VALUE;FRAME:VALUE... (by display or uniform name)");
    sub->add_option("-l,--layer", o->layers,
                    "NAME=FILE: an extra layer parameter from an image or a sequence");
    sub->add_option("--frames", o->frames, "frames FIRST-LAST of the sequences to render");
    sub->add_option("-t,--time", o->time, "the frame to render when no --frames is given");
    sub->add_option("--fps", o->fps, "frames per second of the host's time line (default 24)");
    sub->add_option("--host", o->host, "ae (After Effects) or premiere (Premiere Pro)")
        ->check(CLI::IsMember({"ae", "premiere"}));
    sub->add_option("--render", o->path, "smart (two-phase) or classic render commands")
        ->check(CLI::IsMember({"smart", "classic"}));
    sub->add_option("--depth", o->depth,
                    "output file depth: PNG 8 or 16 (default: the frame's), EXR 32")
        ->check(CLI::IsMember({8, 16, 32}));
    sub->add_option("--bpc", o->bpc,
                    "After Effects project depth 8, 16 or 32 (default: the input file's)")
        ->check(CLI::IsMember({8, 16, 32}));
    sub->add_option("--png-compression", o->pngCompression,
                    "fast (default), medium (libpng's defaults) or small (smallest, slowest)")
        ->check(CLI::IsMember({"fast", "medium", "small"}));
    sub->add_option("--timeout", o->timeout,
                    "SECONDS a frame may take before glfx gives up and exits with 1 (default: "
                    "no limit)")
        ->check(CLI::NonNegativeNumber);
    sub->add_flag("-q,--quiet", o->quiet, "no progress lines");
    sub->callback([o, &run] { run = [o] { return runRender(*o); }; });
    return sub;
}

} // namespace glfx::cli
