#include "Background.h"

#include "FileSystem.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace glfx::cli {

BackgroundTask::BackgroundTask() : thread_([this] { run(); }) {}

BackgroundTask::~BackgroundTask() {
    {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return !busy_; });
        quit_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void BackgroundTask::start(std::function<void()> task) {
    wait();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        task_ = std::move(task);
        busy_ = true;
    }
    changed_.notify_all();
}

void BackgroundTask::wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return !busy_; });
    if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
}

void BackgroundTask::run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return busy_ || quit_; });
        if (!busy_) return;
        std::function<void()> task = std::move(task_);
        lock.unlock();
        std::exception_ptr failure;
        try {
            task();
        } catch (...) {
            failure = std::current_exception();
        }
        task = nullptr; // what the task held goes before the caller hears it is done
        lock.lock();
        failure_ = failure;
        busy_ = false;
        changed_.notify_all();
    }
}

// Beyond a few decades a limit is none; the clock's nanoseconds would overflow.
FrameWatchdog::FrameWatchdog(double seconds, std::function<std::string(int64_t)> message)
    : limit_(std::min(seconds, 1e9)), message_(std::move(message)) {
    if (seconds > 0.0) thread_ = std::thread([this] { watch(); });
}

FrameWatchdog::~FrameWatchdog() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quit_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void FrameWatchdog::frameStarted(int64_t frame) {
    if (!thread_.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        frame_ = frame;
        timing_ = true;
        deadline_ = std::chrono::steady_clock::now() +
                    std::chrono::duration_cast<std::chrono::steady_clock::duration>(limit_);
    }
    changed_.notify_all();
}

void FrameWatchdog::frameEnded() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        timing_ = false;
    }
    changed_.notify_all();
}

void FrameWatchdog::watch() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!quit_) {
        if (!timing_) {
            changed_.wait(lock);
            continue;
        }
        const auto deadline = deadline_;
        if (changed_.wait_until(lock, deadline) != std::cv_status::timeout ||
            std::chrono::steady_clock::now() < deadline || !timing_ || deadline != deadline_)
            continue;
        // The thread drawing the frame may hold any lock, the output's among them: nothing here
        // waits for it, and nothing of the process runs on after this.
        const std::string line = message_(frame_) + "\n";
        std::fputs(line.c_str(), stderr);
        std::fflush(stderr);
        removeLeftovers();
        std::_Exit(1);
    }
}

} // namespace glfx::cli
