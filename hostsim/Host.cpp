#include "hostsim/Host.h"

#include "hostsim/HostCallbacks.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace glfx::hostsim {
namespace {

thread_local Host* tCurrent = nullptr;

const char* const kSelectorNames[] = {"PF_Cmd_ABOUT",
                                      "PF_Cmd_GLOBAL_SETUP",
                                      "PF_Cmd_UNUSED_0",
                                      "PF_Cmd_GLOBAL_SETDOWN",
                                      "PF_Cmd_PARAMS_SETUP",
                                      "PF_Cmd_SEQUENCE_SETUP",
                                      "PF_Cmd_SEQUENCE_RESETUP",
                                      "PF_Cmd_SEQUENCE_FLATTEN",
                                      "PF_Cmd_SEQUENCE_SETDOWN",
                                      "PF_Cmd_DO_DIALOG",
                                      "PF_Cmd_FRAME_SETUP",
                                      "PF_Cmd_RENDER",
                                      "PF_Cmd_FRAME_SETDOWN",
                                      "PF_Cmd_USER_CHANGED_PARAM",
                                      "PF_Cmd_UPDATE_PARAMS_UI",
                                      "PF_Cmd_EVENT",
                                      "PF_Cmd_GET_EXTERNAL_DEPENDENCIES",
                                      "PF_Cmd_COMPLETELY_GENERAL",
                                      "PF_Cmd_QUERY_DYNAMIC_FLAGS",
                                      "PF_Cmd_AUDIO_RENDER",
                                      "PF_Cmd_AUDIO_SETUP",
                                      "PF_Cmd_AUDIO_SETDOWN",
                                      "PF_Cmd_ARBITRARY_CALLBACK",
                                      "PF_Cmd_SMART_PRE_RENDER",
                                      "PF_Cmd_SMART_RENDER"};
} // namespace

namespace detail {

Host& activeHost() {
    Host* host = tCurrent;
    if (host == nullptr) {
        std::fprintf(stderr, "hostsim: a host callback arrived while no host exists\n");
        std::abort();
    }
    return *host;
}

} // namespace detail


std::string selectorName(PF_Cmd cmd) {
    if (cmd >= 0 && size_t(cmd) < sizeof kSelectorNames / sizeof kSelectorNames[0])
        return kSelectorNames[cmd];
    return "selector " + std::to_string(cmd);
}

// ---- Instance --------------------------------------------------------------------------------

const SequenceState* Instance::record() const {
    return sequenceData_ != nullptr ? static_cast<const SequenceState*>(*sequenceData_) : nullptr;
}

SequenceState* Instance::mutableRecord() {
    return sequenceData_ != nullptr ? static_cast<SequenceState*>(*sequenceData_) : nullptr;
}

const ParamState& Instance::param(PF_ParamIndex index) const {
    static const ParamState untouched;
    auto it = params_.find(index);
    return it != params_.end() ? it->second : untouched;
}

ParamState& Instance::mutableParam(PF_ParamIndex index) {
    return params_[index];
}

// ---- Host ------------------------------------------------------------------------------------

Host* Host::current() {
    return tCurrent;
}

Host::Host(const std::string& libraryPath, HostApp app)
    : Host(PluginLibrary::load(libraryPath), app) {}

Host::Host(std::shared_ptr<PluginLibrary> library, HostApp app)
    : library_(std::move(library)), app_(app),
      handles_([this](const std::string& what) { problem(what); }),
      suites_([this](const std::string& what) { problem(what); }) {
    detail::fillCallbacks(basic_, utils_);
    inter_.add_param = [](PF_ProgPtr effect_ref, PF_ParamIndex index, PF_ParamDefPtr def) {
        return detail::activeHost().addParam(effect_ref, index, def);
    };
    inter_.checkout_param = [](PF_ProgPtr effect_ref, PF_ParamIndex index, A_long time, A_long step,
                               A_u_long scale, PF_ParamDef* param) {
        return detail::activeHost().checkoutParam(effect_ref, index, time, step, scale, param);
    };
    inter_.checkin_param = [](PF_ProgPtr effect_ref, PF_ParamDef* param) {
        return detail::activeHost().checkinParam(effect_ref, param);
    };
    inter_.abort = [](PF_ProgPtr effect_ref) -> PF_Err {
        return detail::activeHost().abortCheck(effect_ref);
    };
    inter_.progress = [](PF_ProgPtr effect_ref, A_long current, A_long total) -> PF_Err {
        return detail::activeHost().progress(effect_ref, current, total);
    };

    registerSuites();
    tCurrent = this;
}

Host::~Host() {
    handles_.disposeAll();
    if (tCurrent == this) tCurrent = nullptr;
}

void Host::problem(const std::string& what) {
    problems_.push_back(inCommand_ ? selectorName(currentCmd_) + ": " + what : what);
}

std::string Host::returnMessage() const {
    const char* msg = lastOut_.return_msg;
    return std::string(msg, strnlen(msg, sizeof lastOut_.return_msg));
}

// ---- Commands --------------------------------------------------------------------------------

PF_Err Host::command(PF_Cmd cmd, Instance* instance, PF_ParamDef** params, PF_LayerDef* output,
                     void* extra) {
    tCurrent = this;
    PF_InData in;
    std::memset(&in, 0, sizeof in);
    in.inter = inter_;
    in.utils = &utils_;
    in.effect_ref =
        reinterpret_cast<PF_ProgPtr>(instance != nullptr ? &instance->ref_ : &globalRef_);
    in.quality = PF_Quality_HI;
    in.version = {PF_AE_PLUG_IN_VERSION, PF_AE_PLUG_IN_SUBVERS};
    in.appl_id = app_ == HostApp::PremierePro ? kPremiereProApplId : kAfterEffectsApplId;
    in.num_params = numParams_;
    in.current_time = currentTime;
    in.time_step = timeStep;
    in.local_time_step = timeStep;
    in.time_scale = timeScale;
    in.total_time = 10 * A_long(timeScale);
    in.downsample_x = downsampleX;
    in.downsample_y = downsampleY;
    in.pixel_aspect_ratio = pixelAspect;
    if (frame_ != nullptr && frame_->input != nullptr) {
        if (const Image* image = frame_->input->at(currentTime)) {
            in.width = image->width;
            in.height = image->height;
            in.extent_hint = {0, 0, image->width, image->height};
        }
    }
    in.global_data = globalData_;
    in.sequence_data = instance != nullptr ? instance->sequenceData_ : nullptr;
    in.pica_basicP = inject.noBasicSuite ? nullptr : &basic_;

    PF_OutData out;
    std::memset(&out, 0, sizeof out);
    out.global_data = globalData_;
    out.sequence_data = in.sequence_data;

    if (cmd == PF_Cmd_PARAMS_SETUP) declared_.clear();
    inCommand_ = true;
    currentCmd_ = cmd;
    currentOut_ = &out;
    addParamCalls_ = 0;
    copies_.clear();
    suites_.clearLog();

    const PF_Err err = library_->entry()(cmd, &in, &out, params, output, extra);

    currentOut_ = nullptr;
    lastOut_ = out;
    if (cmd == PF_Cmd_GLOBAL_SETUP) globalData_ = out.global_data;
    // A set-down that failed leaves the global data with the host, which may send it again.
    if (cmd == PF_Cmd_GLOBAL_SETDOWN && err == PF_Err_NONE) globalData_ = nullptr;
    if (instance != nullptr)
        instance->sequenceData_ = cmd == PF_Cmd_SEQUENCE_SETDOWN ? nullptr : out.sequence_data;
    if (cmd == PF_Cmd_PARAMS_SETUP && err == PF_Err_NONE) {
        numParams_ = out.num_params;
        if (size_t(std::max<A_long>(out.num_params, 0)) != declared_.size() + 1)
            problem("num_params is " + std::to_string(out.num_params) + " but " +
                    std::to_string(declared_.size()) +
                    " parameters were added after the input layer");
    }
    checkAfterCommand(out);
    inCommand_ = false;
    return err;
}

void Host::checkAfterCommand(const PF_OutData& out) {
    for (const auto& [key, count] : suites_.outstanding())
        problem("suite \"" + key.first + "\" version " + std::to_string(key.second) + " acquired " +
                std::to_string(count) + " more time(s) than released");
    suites_.forgive();

    for (const ActiveCheckout& c : checkouts_)
        problem("parameter " + std::to_string(c.index) + " checked out and never checked in");
    checkouts_.clear();

    for (AegpRef& ref : aegpRefs_) {
        if (ref.disposed) continue;
        problem(std::string(ref.stream ? "stream" : "effect") + " reference not disposed of");
        ref.disposed = true;
    }

    // The host drops what the plug-in disposed of; holding a disposed handle is a fault.
    if (globalData_ != nullptr && !handles_.isLive(globalData_)) {
        problem("the global data handle was disposed of but left in out_data->global_data");
        globalData_ = nullptr;
    }
    for (auto& instance : instances_) {
        if (instance->sequenceData_ != nullptr && !handles_.isLive(instance->sequenceData_)) {
            problem("instance " + std::to_string(instance->id) +
                    " was handed a sequence-data handle that is disposed of");
            instance->sequenceData_ = nullptr;
        }
    }
    for (PF_Handle handle : handles_.live()) {
        if (handles_.isLocked(handle)) problem("a handle is still locked after the command");
        bool held = handle == globalData_;
        for (auto& instance : instances_)
            held = held || handle == instance->sequenceData_;
        if (held) continue;
        if (std::find(reportedLeaks_.begin(), reportedLeaks_.end(), handle) != reportedLeaks_.end())
            continue;
        reportedLeaks_.push_back(handle);
        problem("a handle of " + std::to_string(handles_.size(handle)) +
                " bytes was neither disposed of nor handed to the host");
    }
    if (std::memchr(out.return_msg, 0, sizeof out.return_msg) == nullptr)
        problem("return_msg has no terminator");
}

PF_Err Host::about() {
    return command(PF_Cmd_ABOUT, nullptr);
}
PF_Err Host::globalSetup() {
    return command(PF_Cmd_GLOBAL_SETUP, nullptr);
}
PF_Err Host::globalSetdown() {
    return command(PF_Cmd_GLOBAL_SETDOWN, nullptr);
}
PF_Err Host::paramsSetup() {
    return command(PF_Cmd_PARAMS_SETUP, nullptr);
}
PF_Err Host::sequenceSetup(Instance& i) {
    return command(PF_Cmd_SEQUENCE_SETUP, &i);
}
PF_Err Host::sequenceResetup(Instance& i) {
    return command(PF_Cmd_SEQUENCE_RESETUP, &i);
}
PF_Err Host::sequenceFlatten(Instance& i) {
    return command(PF_Cmd_SEQUENCE_FLATTEN, &i);
}
PF_Err Host::sequenceSetdown(Instance& i) {
    return command(PF_Cmd_SEQUENCE_SETDOWN, &i);
}
PF_Err Host::updateParamsUi(Instance& i) {
    return command(PF_Cmd_UPDATE_PARAMS_UI, &i);
}

// ---- Lifecycle -------------------------------------------------------------------------------

Instance& Host::addInstance() {
    instances_.push_back(std::unique_ptr<Instance>(new Instance(this, int(instances_.size()) + 1)));
    return *instances_.back();
}

PF_Err Host::start() {
    const PF_Err err = globalSetup();
    return err != PF_Err_NONE ? err : paramsSetup();
}

PF_Err Host::finish() {
    PF_Err first = PF_Err_NONE;
    for (auto& instance : instances_) {
        if (instance->sequenceData_ == nullptr) continue;
        const PF_Err err = sequenceSetdown(*instance);
        if (first == PF_Err_NONE) first = err;
    }
    const PF_Err err = globalSetdown();
    return first != PF_Err_NONE ? first : err;
}

std::vector<uint8_t> Host::flatten(Instance& instance, PF_Err* result) {
    const PF_Err err = sequenceFlatten(instance);
    if (result != nullptr) *result = err;
    return handles_.bytes(instance.sequenceData_);
}

Instance& Host::addInstance(const std::vector<uint8_t>& bytes) {
    Instance& instance = addInstance();
    instance.sequenceData_ = handles_.allocate(bytes.size());
    if (!bytes.empty()) std::memcpy(*instance.sequenceData_, bytes.data(), bytes.size());
    return instance;
}

Instance& Host::load(const std::vector<uint8_t>& bytes, PF_Err* result) {
    Instance& instance = addInstance(bytes);
    const PF_Err err = sequenceResetup(instance);
    if (result != nullptr) *result = err;
    return instance;
}

Instance& Host::duplicate(Instance& original, PF_Err* result) {
    Instance& copy = addInstance(handles_.bytes(original.sequenceData_));
    const PF_Err first = sequenceResetup(copy);
    const PF_Err second = sequenceResetup(original);
    if (result != nullptr) *result = first != PF_Err_NONE ? first : second;
    return copy;
}

Instance& Host::projectRoundTrip(Instance& instance, PF_Err* result) {
    PF_Err first = PF_Err_NONE;
    const std::vector<uint8_t> bytes = flatten(instance, &first);
    const PF_Err down = sequenceSetdown(instance);
    if (first == PF_Err_NONE) first = down;
    PF_Err up = PF_Err_NONE;
    Instance& loaded = load(bytes, &up);
    if (first == PF_Err_NONE) first = up;
    if (result != nullptr) *result = first;
    return loaded;
}

} // namespace glfx::hostsim
