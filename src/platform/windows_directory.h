#pragma once
// Where this PC's Windows lives, as GetWindowsDirectoryW says: the engine rewrites the
// kernel's "\SystemRoot\" with it, and the loader keeps raising patterns out of it.
#include <string>

#include "platform/platform.h"

namespace mjr {

// The Windows directory without a final "\" ("C:\WINDOWS", "D:\Win11"); empty when the call
// fails or the directory does not fit 254 characters.
std::wstring ReadWindowsDirectory(Platform& platform);

}  // namespace mjr
