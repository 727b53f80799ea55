#pragma once
// The logon task the package registers: the repository's template, filled with the folder
// the package installed into and the enforce interval the administrator gave.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "app/reset_request.h"
#include "platform/platform.h"

namespace mjr::installer {

inline constexpr wchar_t kTaskName[] = L"Marrowbine Jr";
inline constexpr wchar_t kProgramFile[] = L"MarrowbineJr64.exe";
// Who may do what with the task: SYSTEM and Administrators everything, any signed-in user
// read it and run it; nothing inherited.
inline constexpr wchar_t kTaskSecurity[] = L"D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FRFX;;;AU)";

// Characters that would end or nest markup, as entities; everything else as it is.
std::wstring XmlEscape(std::wstring_view text);

// Decimal digits only, at most nine (the program reads the interval as a 32-bit number).
bool IsEnforceValue(std::wstring_view enforce) noexcept;

struct LogonTask {
    bool ok = false;
    std::wstring xml;    // the filled definition when ok
    std::wstring error;  // why there is none otherwise
    int refusal = 0;     // and the helper's exit code for it
};

// Fills @PROGRAM@ with the program's full path (the template quotes it) and @ARGUMENTS@ with an <Arguments> element
// (or nothing when enforce is empty). Refuses an empty folder, one with a double quote or a
// control character (it would break the quoting), and an enforce value of anything but digits.
LogonTask FillLogonTask(std::wstring_view xmlTemplate, std::wstring_view installDir, std::wstring_view enforce);

// The folder of the helper's own file, with its final backslash; empty for a bare name.
std::wstring InstallDirOfHelper(std::wstring_view helperPath);

// Whether a process's image is the program installed in installDir, letter case ignored as
// Windows ignores it in file names (the folder as the installer wrote it need not match
// the case Windows reports).
bool IsInstalledProgram(Platform& platform, std::wstring_view imagePath, std::wstring_view installDir);

// Whether a task's security descriptor, as the Task Scheduler returns it in SDDL with its
// owner and DACL, leaves the task to SYSTEM and Administrators alone: owned by one of them,
// and no allow entry for anyone else with a right to change, delete or take it. What it
// cannot read (an allow of a kind it does not know, a right it cannot name, no DACL) counts
// as open to anyone.
bool OnlyAdministratorsMayChange(std::wstring_view sddl);

// The reset request running copies watch (REG_QWORD ResetRequest under HKLM\Software\Marrowbine Jr,
// 64-bit view): a first install and an upgrade raise it, so every copy reads its profile anew.
using mjr::kResetRequestKey;  // the running copies' own names for it
using mjr::kResetRequestValue;
// The number after `current` (nothing: no value, or not a REG_QWORD): at least `now` (a
// FILETIME), so that a value deleted by an uninstall and made anew never repeats an old one.
std::uint64_t NextResetRequest(std::optional<std::uint64_t> current, std::uint64_t now) noexcept;

}  // namespace mjr::installer
