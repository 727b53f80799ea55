// Opening this process's own token for reading.
#include "platform/own_token.h"

namespace mjr {

UniqueHandle OpenOwnTokenToRead(Platform& platform) {
    UniqueHandle process(platform, platform.OpenProcess(kProcessQueryInformation, 0, platform.GetCurrentProcessId()));
    Handle token = 0;
    if (!process || !platform.OpenProcessToken(process.get(), kTokenQuery, &token)) token = 0;
    return UniqueHandle(platform, token);
}

}  // namespace mjr
