#include "common/device_name.h"
#include "common/text.h"

namespace mjr {
namespace {

bool IsSlash(wchar_t c) { return c == L'\\' || c == L'/'; }

}  // namespace

bool HasReservedDeviceName(std::wstring_view path) noexcept {
    std::size_t start = path.size();
    while (start > 0 && !IsSlash(path[start - 1])) --start;
    std::wstring_view name = path.substr(start);
    // Windows ends a device's name at a colon as at a dot: "COM1:", "CON:.exe", "NUL:stream".
    name = name.substr(0, name.find_first_of(L".:"));
    // Windows drops blanks before the extension ("NUL .txt" is the device too).
    while (!name.empty() && name.back() == L' ') name.remove_suffix(1);
    if (name.size() == 3)
        return StartsWithIgnoringAsciiCase(name, L"CON") || StartsWithIgnoringAsciiCase(name, L"NUL") || StartsWithIgnoringAsciiCase(name, L"AUX") ||
               StartsWithIgnoringAsciiCase(name, L"PRN");
    if (name.size() != 4 || !(StartsWithIgnoringAsciiCase(name, L"COM") || StartsWithIgnoringAsciiCase(name, L"LPT"))) return false;
    const wchar_t number = name[3];
    // Windows counts the superscript digits 1 to 3 as digits here.
    return (number >= L'1' && number <= L'9') || number == 0xB9 || number == 0xB2 || number == 0xB3;
}

}  // namespace mjr
