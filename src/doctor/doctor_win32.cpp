// Process entry of the profile doctor, a console program. In a console the report goes
// out through WriteConsoleW, so every character of a path shows; redirected to a file or
// a pipe it is UTF-8 text with CR LF line ends, which keeps every path intact whatever
// the console's and the system's code pages are.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <string>
#include <vector>

#include "doctor/doctor.h"
#include "platform/try_platform_win32.h"
#include "platform/win32_platform_win32.h"

namespace {

// One of the standard streams.
class StandardStream {
public:
    explicit StandardStream(DWORD which) : handle_(::GetStdHandle(which)) {
        DWORD mode = 0;
        console_ = handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle_, &mode);
    }

    void Line(std::wstring_view text) {
        if (handle_ == nullptr || handle_ == INVALID_HANDLE_VALUE) return;
        std::wstring line(text);
        line += L"\r\n";
        if (console_) {
            WriteConsoleText(line);
        } else {
            WriteBytes(Utf8(line));
        }
    }

private:
    void WriteConsoleText(const std::wstring& text) {
        std::size_t done = 0;
        while (done < text.size()) {
            const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(text.size() - done, 8192));
            DWORD written = 0;
            if (!::WriteConsoleW(handle_, text.data() + done, chunk, &written, nullptr) || written == 0) return;
            done += written;
        }
    }

    void WriteBytes(const std::string& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 65536));
            DWORD written = 0;
            if (!::WriteFile(handle_, bytes.data() + done, chunk, &written, nullptr) || written == 0) return;
            done += written;
        }
    }

    static std::string Utf8(const std::wstring& text) {
        const int chars = static_cast<int>(text.size());
        const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), chars, nullptr, 0, nullptr, nullptr);
        if (bytes <= 0) return std::string();
        std::string out(static_cast<std::size_t>(bytes), '\0');
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), chars, out.data(), bytes, nullptr, nullptr);
        return out;
    }

    HANDLE handle_;
    bool console_ = false;
};

class StandardOutput : public mjr::doctor::ReportWriter {
public:
    void Line(std::wstring_view text) override { out_.Line(text); }
    void ErrorLine(std::wstring_view text) override { error_.Line(text); }

private:
    StandardStream out_{STD_OUTPUT_HANDLE};
    StandardStream error_{STD_ERROR_HANDLE};
};

std::vector<std::wstring> Arguments() {
    std::vector<std::wstring> arguments;
    int count = 0;
    LPWSTR* words = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!words) return arguments;
    for (int i = 1; i < count; ++i) arguments.emplace_back(words[i]);
    ::LocalFree(words);
    return arguments;
}

}  // namespace

int main() {
    // Before anything can load a DLL: never from the program's folder or the current one.
    mjr::RestrictDllSearchToSystem32();
    try {
        mjr::Win32Platform platform;
        mjr::Win32TryPlatform trial;
        StandardOutput out;
        mjr::doctor::CheckerBuild build;
        build.Is32Bit = sizeof(void*) == 4;
        build.Name = build.Is32Bit ? L"MarrowbineJrCheck" : L"MarrowbineJrCheck64";
        return mjr::doctor::RunDoctor(platform, &trial, Arguments(), build, out);
    } catch (...) {
        return mjr::doctor::kExitLoadsNothing;
    }
}
