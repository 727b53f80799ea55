// The real platform's known-folder call: where Windows keeps the folders that follow the user
// and the PC, whatever the environment says.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <cstring>

#include "platform/handle_cast_win32.h"
#include "platform/win32_platform_win32.h"

namespace mjr {
namespace {

static_assert(sizeof(Guid) == sizeof(GUID) && kKfFlagDontVerify == KF_FLAG_DONT_VERIFY);
static_assert(kTokenUserClass == TokenUser && kRegSz == REG_SZ);

// The path the call allocates, freed on every way out (a copy that runs out of memory too).
struct TaskMemoryText {
    PWSTR text = nullptr;
    TaskMemoryText() = default;
    TaskMemoryText(const TaskMemoryText&) = delete;
    TaskMemoryText& operator=(const TaskMemoryText&) = delete;
    ~TaskMemoryText() { ::CoTaskMemFree(text); }
};

}  // namespace

std::int32_t Win32Platform::SHGetKnownFolderPath(const Guid& folderId, Dword flags, Handle token, std::wstring* path) {
    GUID id;
    static_assert(sizeof id == sizeof folderId);
    std::memcpy(&id, &folderId, sizeof id);
    TaskMemoryText found;
    const HRESULT result = ::SHGetKnownFolderPath(id, flags, ToHandle(token), &found.text);
    // A copy that runs out of memory throws as any string does; the text is freed all the same.
    if (SUCCEEDED(result) && found.text) *path = found.text;
    return result;
}

}  // namespace mjr
