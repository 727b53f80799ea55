#pragma once
// The profile doctor: explains what MarrowbineJr.exe makes of a profile, without changing
// anything. Portable; the console program around it is doctor_win32.cpp.
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace mjr::doctor {

inline constexpr int kExitLoads = 0;
inline constexpr int kExitLoadsNothing = 1;
inline constexpr int kExitUsage = 2;

class ReportWriter {
public:
    virtual ~ReportWriter() = default;
    virtual void Line(std::wstring_view text) = 0;
    // To the error stream: what must not mix with lines meant to be copied.
    virtual void ErrorLine(std::wstring_view text) = 0;
};

struct CheckerBuild {
    bool Is32Bit = true;
    std::wstring Name = L"MarrowbineJrCheck";  // as the usage text shows it
};

// Reads the arguments (without the program's name), says which file it reads, the loader's
// verdict, a warning per favourite that will not do what it seems to say, and what one
// scan would do to the running processes now. Returns the exit status: 0 when the profile
// loads, 1 when it loads nothing, 2 on a usage error. Never throws.
int RunDoctor(Platform& platform, const std::vector<std::wstring>& arguments, const CheckerBuild& build,
              ReportWriter& out) noexcept;
// The same, with the calls --try needs (without them, --try is refused as an unknown option).
int RunDoctor(Platform& platform, TryPlatform* trial, const std::vector<std::wstring>& arguments,
              const CheckerBuild& build, ReportWriter& out) noexcept;

}  // namespace mjr::doctor
