#include "platform/fold_case.h"

#include <limits>

namespace mjr {
namespace {

// Folds A to Z; true when every character is ASCII, whose invariant upper case is exactly
// that, so the mapping has nothing left to do.
bool FoldAsciiLetters(std::wstring& text) {
    bool ascii = true;
    for (wchar_t& c : text) {
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - (L'a' - L'A'));
        else if (c > 0x7F) ascii = false;
    }
    return ascii;
}

}  // namespace

void FoldPathCase(Platform& platform, std::wstring_view path, std::wstring& folded) {
    folded.assign(path);
    if (FoldAsciiLetters(folded) || path.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) return;
    const int count = static_cast<int>(path.size());
    // The simple upper-case mapping keeps every UTF-16 unit's count, so the buffer fits.
    if (platform.LCMapStringW(kLocaleInvariant, kLcmapUppercase, path.data(), count, folded.data(), count) == count)
        return;
    folded.assign(path);
    FoldAsciiLetters(folded);
}

std::wstring FoldPathCase(Platform& platform, std::wstring_view path) {
    std::wstring folded;
    FoldPathCase(platform, path, folded);
    return folded;
}

}  // namespace mjr
