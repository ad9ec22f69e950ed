// Scope guards for host memory: a handle that goes back to the host unless it is handed over, and
// a lock that is undone on every way out.
#pragma once

#include "AE_Effect.h"

namespace glfx {

class OwnedHandle {
public:
    using DisposeFn = void (*)(PF_Handle);

    OwnedHandle(PF_Handle handle, DisposeFn dispose) : handle_(handle), dispose_(dispose) {}
    ~OwnedHandle() {
        if (handle_ != nullptr) dispose_(handle_);
    }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;

    PF_Handle get() const { return handle_; }
    // The caller (or the host) owns the handle from now on.
    PF_Handle release() {
        PF_Handle h = handle_;
        handle_ = nullptr;
        return h;
    }

private:
    PF_Handle handle_;
    DisposeFn dispose_;
};

class HandleLock {
public:
    using LockFn = void* (*)(PF_Handle);
    using UnlockFn = void (*)(PF_Handle);

    // `data` is null when the host could not lock the handle; nothing is undone then.
    HandleLock(PF_Handle handle, LockFn lock, UnlockFn unlock)
        : handle_(handle), unlock_(unlock), data_(handle != nullptr ? lock(handle) : nullptr) {}
    ~HandleLock() { unlock(); }
    HandleLock(const HandleLock&) = delete;
    HandleLock& operator=(const HandleLock&) = delete;

    void* data() const { return data_; }
    void unlock() {
        if (data_ != nullptr) unlock_(handle_);
        data_ = nullptr;
    }

private:
    PF_Handle handle_;
    UnlockFn unlock_;
    void* data_;
};

} // namespace glfx
