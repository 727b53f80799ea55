// The real platform's registry and event calls: the program's one registry use, the reset
// request. Kept apart from the process calls, which the doctor shares.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "platform/handle_cast_win32.h"
#include "platform/win32_platform_win32.h"

namespace mjr {
namespace {

static_assert(sizeof(Lstatus) == sizeof(LSTATUS));
static_assert(kKeyQueryValue == KEY_QUERY_VALUE && kKeySetValue == KEY_SET_VALUE && kKeyNotify == KEY_NOTIFY);
static_assert(kKeyWow64_64Key == KEY_WOW64_64KEY && kRegQword == REG_QWORD && kRegDword == REG_DWORD);
static_assert(kRegNotifyChangeName == REG_NOTIFY_CHANGE_NAME && kRegNotifyChangeLastSet == REG_NOTIFY_CHANGE_LAST_SET);
static_assert(kErrorMoreData == ERROR_MORE_DATA && kErrorKeyDeleted == ERROR_KEY_DELETED);

HKEY ToKey(Handle key) { return reinterpret_cast<HKEY>(key); }

}  // namespace

Lstatus Win32Platform::RegOpenKeyExW(Handle key, const std::wstring& subKey, Dword samDesired, Handle* result) {
    HKEY opened = nullptr;
    const LSTATUS status = ::RegOpenKeyExW(ToKey(key), subKey.c_str(), 0, samDesired, &opened);
    if (status == ERROR_SUCCESS) *result = FromHandle(opened);
    return status;
}

Lstatus Win32Platform::RegCreateKeyExW(Handle key, const std::wstring& subKey, Dword samDesired, Handle* result) {
    HKEY created = nullptr;
    const LSTATUS status = ::RegCreateKeyExW(ToKey(key), subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                             samDesired, nullptr, &created, nullptr);
    if (status == ERROR_SUCCESS) *result = FromHandle(created);
    return status;
}

Lstatus Win32Platform::RegQueryValueExW(Handle key, const std::wstring& valueName, Dword* type, void* data,
                                        Dword* dataSize) {
    DWORD kind = 0;
    DWORD size = dataSize ? *dataSize : 0;
    const LSTATUS status = ::RegQueryValueExW(ToKey(key), valueName.c_str(), nullptr, &kind,
                                              static_cast<BYTE*>(data), dataSize ? &size : nullptr);
    if (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
        if (type) *type = kind;
        if (dataSize) *dataSize = size;
    }
    return status;
}

Lstatus Win32Platform::RegSetValueExW(Handle key, const std::wstring& valueName, Dword type, const void* data,
                                      Dword dataSize) {
    return ::RegSetValueExW(ToKey(key), valueName.c_str(), 0, type, static_cast<const BYTE*>(data), dataSize);
}

Lstatus Win32Platform::RegNotifyChangeKeyValue(Handle key, WinBool watchSubtree, Dword notifyFilter, Handle event,
                                               WinBool asynchronous) {
    return ::RegNotifyChangeKeyValue(ToKey(key), watchSubtree, notifyFilter, ToHandle(event),
                                     asynchronous);
}

Lstatus Win32Platform::RegCloseKey(Handle key) { return ::RegCloseKey(ToKey(key)); }

Handle Win32Platform::CreateEventW(WinBool manualReset, WinBool initialState) {
    return FromHandle(::CreateEventW(nullptr, manualReset, initialState, nullptr));
}

}  // namespace mjr
