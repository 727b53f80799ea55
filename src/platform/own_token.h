#pragma once
// This process's own access token, opened to read only: whether it is elevated, which
// privileges it holds, whose it is.
#include "platform/platform.h"
#include "platform/unique_handle.h"

namespace mjr {

// TOKEN_QUERY on the token of the current process; an empty handle when either open fails.
UniqueHandle OpenOwnTokenToRead(Platform& platform);

}  // namespace mjr
