#pragma once
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace mjr {

// A path in the one letter case Windows compares file names in: the invariant locale's
// upper-case mapping of every character, not only A to Z. Two paths name the same file
// name when their folded forms are equal. Should the mapping fail, A to Z alone are folded,
// so a path still equals itself.
std::wstring FoldPathCase(Platform& platform, std::wstring_view path);
// The same into `folded`, whose storage is reused: a scan folds every process's path.
void FoldPathCase(Platform& platform, std::wstring_view path, std::wstring& folded);

}  // namespace mjr
