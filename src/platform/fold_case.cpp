#include "platform/fold_case.h"

#include <limits>

namespace mjr {

std::wstring FoldPathCase(Platform& platform, std::wstring_view path) {
    std::wstring folded(path);
    if (path.empty() || path.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) return folded;
    const int count = static_cast<int>(path.size());
    // The simple upper-case mapping keeps every UTF-16 unit's count, so the buffer fits.
    const int written = platform.LCMapStringW(kLocaleInvariant, kLcmapUppercase, path.data(), count, folded.data(), count);
    if (written == count) return folded;
    folded.assign(path);
    for (wchar_t& c : folded)
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - (L'a' - L'A'));
    return folded;
}

}  // namespace mjr
