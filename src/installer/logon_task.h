#pragma once
// The logon task the package registers: the repository's template, filled with the folder
// the package installed into and the enforce interval the administrator gave.
#include <string>
#include <string_view>

namespace mjr::installer {

inline constexpr wchar_t kTaskName[] = L"Marrowbine Jr";
inline constexpr wchar_t kProgramFile[] = L"MarrowbineJr64.exe";

// Characters that would end or nest markup, as entities; everything else as it is.
std::wstring XmlEscape(std::wstring_view text);

// Decimal digits only, at most nine (the program reads the interval as a 32-bit number).
bool IsEnforceValue(std::wstring_view enforce) noexcept;

struct LogonTask {
    bool ok = false;
    std::wstring xml;    // the filled definition when ok
    std::wstring error;  // why there is none otherwise
};

// Fills @PROGRAM@ with the program's full path (the template quotes it) and @ARGUMENTS@ with an <Arguments> element
// (or nothing when enforce is empty). Refuses an empty folder, one with a double quote or a
// control character (it would break the quoting), and an enforce value of anything but digits.
LogonTask FillLogonTask(std::wstring_view xmlTemplate, std::wstring_view installDir, std::wstring_view enforce);

}  // namespace mjr::installer
