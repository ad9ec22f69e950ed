// Work beside the render command's drawing: a thread that decodes or encodes one frame at a time,
// and a watchdog that ends the process when a frame does not finish in time.
//
// Error policy: a task's exception is kept and thrown by the next wait(); nothing else throws
// except std::system_error when a thread cannot be started.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

namespace glfx::cli {

// One thread of its own running the tasks it is given, one at a time.
class BackgroundTask {
public:
    BackgroundTask();
    // Waits for the task in hand (dropping its failure), then ends the thread.
    ~BackgroundTask();
    BackgroundTask(const BackgroundTask&) = delete;
    BackgroundTask& operator=(const BackgroundTask&) = delete;

    // Hands over `task`, after waiting for the one before (whose failure is then thrown here).
    void start(std::function<void()> task);
    // Waits for the task in hand, if any, and throws what it threw.
    void wait();

private:
    void run();

    std::mutex mutex_;
    std::condition_variable changed_;
    std::function<void()> task_;
    bool busy_ = false;
    bool quit_ = false;
    std::exception_ptr failure_;
    std::thread thread_;
};

// A GL call stuck in the driver cannot be interrupted, so a frame over its time limit ends the
// whole process: the watchdog prints `message(frame)` as one line on stderr, removes the files
// still being written and the temporary folders (FileSystem.h's leftovers) and exits with 1.
class FrameWatchdog {
public:
    // No limit (and no thread) when `seconds` is 0.
    FrameWatchdog(double seconds, std::function<std::string(int64_t frame)> message);
    ~FrameWatchdog();
    FrameWatchdog(const FrameWatchdog&) = delete;
    FrameWatchdog& operator=(const FrameWatchdog&) = delete;

    void frameStarted(int64_t frame);
    void frameEnded();

private:
    void watch();

    std::chrono::duration<double> limit_;
    std::function<std::string(int64_t)> message_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool timing_ = false;
    bool quit_ = false;
    int64_t frame_ = 0;
    std::chrono::steady_clock::time_point deadline_;
    std::thread thread_;
};

} // namespace glfx::cli
