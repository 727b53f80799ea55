#pragma once
// What the package's helper (run as SYSTEM) and its custom-action DLL (run inside Windows
// Installer) both do on Windows: who they run as, and ending the program's running copies.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>
#include <vector>

#include "platform/platform.h"

namespace mjr::installer {

// A kernel handle of this program's own, closed once.
class KernelHandle {
public:
    explicit KernelHandle(HANDLE handle) noexcept : handle_(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
    KernelHandle(const KernelHandle&) = delete;
    KernelHandle& operator=(const KernelHandle&) = delete;
    ~KernelHandle() {
        if (handle_ != nullptr) ::CloseHandle(handle_);
    }
    HANDLE get() const noexcept { return handle_; }
    bool valid() const noexcept { return handle_ != nullptr; }

private:
    HANDLE handle_;
};

// The SID ("S-1-5-18") of the account this process runs as, when its token is elevated (SYSTEM
// in the package's deferred actions; under Wine, the one user): that account installs the
// product, so what it alone may change is no ordinary user's. Empty when Windows cannot say or
// the token is not elevated.
std::string ElevatedAccount();

// Whether this process's token is elevated.
bool RunsElevated();

struct EndedCopies {
    int closed = 0;  // asked to close through their window, as Restart Manager asks, and ended
    int ended = 0;   // ended without being asked: a window of another session, or a copy that hung
    int left = 0;    // still running: this account may not end them
};

// Ends every running copy of the program installed in any of installDirs, in every session: a
// copy whose window this session shows is asked to close first; any copy still running after
// that, here or in another session (whose windows no message from here reaches), is ended.
EndedCopies EndRunningCopies(Platform& platform, const std::vector<std::wstring>& installDirs);

}  // namespace mjr::installer
