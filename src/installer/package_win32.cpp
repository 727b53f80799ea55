#include "installer/package_win32.h"

#include <psapi.h>
#include <sddl.h>

#include "installer/logon_task.h"

namespace mjr::installer {
namespace {

constexpr wchar_t kFormClass[] = L"MarrowbineJrForm1";
constexpr DWORD kCloseWaitMs = 10000;
constexpr DWORD kEndWaitMs = 5000;

KernelHandle OwnToken() {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) token = nullptr;
    return KernelHandle(token);
}

bool TokenIsElevated(HANDLE token) {
    TOKEN_ELEVATION elevation{};
    DWORD bytes = 0;
    return ::GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &bytes) &&
           elevation.TokenIsElevated != 0;
}

struct CloseSearch {
    Platform* platform;
    const std::vector<std::wstring>* installDirs;
    std::vector<HWND> windows;
};

bool IsCopy(Platform& platform, HANDLE process, const std::vector<std::wstring>& installDirs) {
    std::wstring image(32768, L'\0');
    DWORD size = static_cast<DWORD>(image.size());
    if (!::QueryFullProcessImageNameW(process, 0, image.data(), &size)) return false;
    image.resize(size);
    for (const std::wstring& dir : installDirs)
        if (IsInstalledProgram(platform, image, dir)) return true;
    return false;
}

BOOL CALLBACK CollectProgramWindow(HWND window, LPARAM context) {
    auto& search = *reinterpret_cast<CloseSearch*>(context);
    wchar_t className[64];
    if (::GetClassNameW(window, className, 64) == 0 || std::wstring(className) != kFormClass) return TRUE;
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    const KernelHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (pid != 0 && process.valid() && IsCopy(*search.platform, process.get(), *search.installDirs))
        search.windows.push_back(window);
    return TRUE;
}

}  // namespace

bool RunsElevated() {
    const KernelHandle token = OwnToken();
    return token.valid() && TokenIsElevated(token.get());
}

std::string ElevatedAccount() {
    const KernelHandle token = OwnToken();
    if (!token.valid() || !TokenIsElevated(token.get())) return {};
    alignas(TOKEN_USER) unsigned char user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD bytes = 0;
    if (!::GetTokenInformation(token.get(), TokenUser, user, sizeof user, &bytes)) return {};
    LPWSTR text = nullptr;
    if (!::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, &text)) return {};
    std::string sid;
    for (const wchar_t* c = text; *c != L'\0'; ++c) sid += static_cast<char>(*c);  // "S-1-..." is ASCII
    ::LocalFree(text);
    return sid;
}

EndedCopies EndRunningCopies(Platform& platform, const std::vector<std::wstring>& installDirs) {
    EndedCopies result;
    // Each copy in this session closes as it closes at logoff, its tray icon removed.
    CloseSearch search{&platform, &installDirs, {}};
    ::EnumWindows(CollectProgramWindow, reinterpret_cast<LPARAM>(&search));
    for (HWND window : search.windows) {
        DWORD pid = 0;
        ::GetWindowThreadProcessId(window, &pid);
        const KernelHandle process(::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid));
        DWORD_PTR answer = 0;
        ::SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, ENDSESSION_CLOSEAPP, SMTO_ABORTIFHUNG, 5000, &answer);
        ::SendMessageTimeoutW(window, WM_ENDSESSION, TRUE, ENDSESSION_CLOSEAPP, SMTO_ABORTIFHUNG, 5000, &answer);
        if (process.valid() && ::WaitForSingleObject(process.get(), kCloseWaitMs) == WAIT_OBJECT_0) ++result.closed;
    }
    // What is left: copies that hung, and those of other sessions, which no window message from
    // here reaches (nor Restart Manager's, run as SYSTEM). The program keeps nothing to lose.
    std::vector<DWORD> pids(4096);
    DWORD bytes = 0;
    if (!::EnumProcesses(pids.data(), static_cast<DWORD>(pids.size() * sizeof(DWORD)), &bytes)) return result;
    pids.resize(bytes / sizeof(DWORD));
    for (const DWORD pid : pids) {
        const KernelHandle query(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, pid));
        if (!query.valid() || ::WaitForSingleObject(query.get(), 0) == WAIT_OBJECT_0 ||
            !IsCopy(platform, query.get(), installDirs))
            continue;
        const KernelHandle process(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
        if (process.valid() && ::TerminateProcess(process.get(), 1) &&
            ::WaitForSingleObject(process.get(), kEndWaitMs) == WAIT_OBJECT_0)
            ++result.ended;
        else
            ++result.left;
    }
    return result;
}

}  // namespace mjr::installer
