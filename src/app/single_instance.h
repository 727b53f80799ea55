#pragma once
#include "platform/platform.h"
#include "platform/unique_handle.h"

#include <optional>
#include <string>

namespace mjr {

struct ClosePrivateNamespaceRelease {
    void operator()(Platform& platform, Handle handle) const noexcept { platform.ClosePrivateNamespace(handle, 0); }
};

// A boundary descriptor, deleted exactly once. The calls that add to it may move it.
class BoundaryDescriptor {
public:
    BoundaryDescriptor(Platform& platform, Handle handle) : platform_(platform), handle_(handle) {}
    BoundaryDescriptor(const BoundaryDescriptor&) = delete;
    BoundaryDescriptor& operator=(const BoundaryDescriptor&) = delete;
    ~BoundaryDescriptor() {
        if (handle_ != 0) platform_.DeleteBoundaryDescriptor(handle_);
    }
    explicit operator bool() const { return handle_ != 0; }
    Handle get() const { return handle_; }
    Handle* address() { return &handle_; }
    void reset(Handle handle) {
        if (handle_ != 0) platform_.DeleteBoundaryDescriptor(handle_);
        handle_ = handle;
    }

private:
    Platform& platform_;
    Handle handle_;
};

// Makes `boundary` the descriptor of that name that admits only elevated administrators (the
// Administrators group at high integrity). False when it cannot be made.
bool MakeElevatedBoundary(Platform& platform, const std::wstring& name, BoundaryDescriptor& boundary);

// A private namespace, closed (not destroyed: another elevated copy may still use it)
// exactly once.
using UniquePrivateNamespace = UniquePlatformObject<ClosePrivateNamespaceRelease>;

// "Is another copy of the program running?", asked once at start; the objects that answer
// it are then held until this goes away, so later starts see this copy.
//
// Unelevated, the answer is the session's Local\ mutex, as it always was. Elevated, it is
// a mutex in a private namespace that only elevated administrators can create, so nothing
// an ordinary process holds can stop the elevated program; the elevated copy holds the
// Local\ mutex too, so a later unelevated start still ends at once. Where Windows (or Wine)
// lacks private namespaces, or they fail, the elevated copy falls back to the Local\ mutex.
class SingleInstance {
public:
    explicit SingleInstance(Platform& platform) : platform_(platform) {}
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    bool AnotherInstanceRuns();

    // Which object answered: the private namespace's (elevated) or the Local\ one.
    bool HeldInPrivateNamespace() const { return static_cast<bool>(privateMutex_); }

private:
    // Nothing when the private namespace cannot be had.
    std::optional<bool> AnotherElevatedInstanceRuns();
    bool AnotherLocalInstanceRuns();

    Platform& platform_;
    bool asked_ = false;
    bool anotherRuns_ = false;
    // Declared in this order so the mutex in the namespace is closed before the namespace.
    UniquePrivateNamespace namespace_{platform_, 0};
    UniqueHandle privateMutex_{platform_, 0};
    UniqueHandle localMutex_{platform_, 0};
};

}  // namespace mjr
