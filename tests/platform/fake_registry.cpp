// The fake's registry and events: keys that come and go, the two views of a 32-bit process,
// and notifications that fire once, as Windows gives them.
#include <cstring>
#include <utility>

#include "platform/fake_platform.h"

namespace mjr::testing {

// The open key a call names, when it has the access the call needs; otherwise the call's result.
FakePlatform::RegistryKey* FakePlatform::RegistryCall(const char* name, Handle key, Dword access, Lstatus& status) {
    const HandleInfo* info = Lookup(key, HandleInfo::RegKey);
    const auto found = info ? registry.find(info->name) : registry.end();
    status = registryErrors.count(name) ? registryErrors[name] : !info ? 6  // ERROR_INVALID_HANDLE
             : found == registry.end() || found->second.id != info->creationTime ? kErrorKeyDeleted
             : (info->access & access) != access ? static_cast<Lstatus>(kErrorAccessDenied) : 0;
    return status == 0 ? &found->second : nullptr;
}

void FakePlatform::NotifyRegistry(const std::wstring& path, Dword change) {
    for (auto& [handle, info] : handles_)
        if (info.kind == HandleInfo::RegKey && info.name == path && registry.count(path) &&
            info.creationTime == registry[path].id && (info.notifyFilter & change)) {
            if (Lookup(info.notifyEvent, HandleInfo::Event)) handles_.at(info.notifyEvent).signalled = true;
            info.notifyFilter = 0;
        }
}

void FakePlatform::ChangeRegistry(const std::wstring& key, const std::wstring& name, std::optional<RegistryValue> value) {
    const std::wstring parent = key.substr(0, key.rfind(L'\\'));
    if (name == L"*") {
        if (registry.erase(key)) NotifyRegistry(parent, kRegNotifyChangeName);
        return;
    }
    if (!registry.count(key)) {
        registry[key].id = nextKeyId_++;
        NotifyRegistry(parent, kRegNotifyChangeName);
    }
    if (value) registry[key].values[name] = *value;
    if (value || registry[key].values.erase(name)) NotifyRegistry(key, kRegNotifyChangeLastSet);
}

bool FakePlatform::TakeSignal(Handle event) {
    return Lookup(event, HandleInfo::Event) && std::exchange(handles_.at(event).signalled, false);
}

Lstatus FakePlatform::RegOpenKeyExW(Handle key, const std::wstring& subKey, Dword samDesired, Handle* result) {
    std::wstring path = L"HKLM\\" + subKey;
    if (wow64 && !(samDesired & kKeyWow64_64Key) && path.rfind(L"HKLM\\Software", 0) == 0) path.insert(13, L"\\WOW6432Node");
    if (recordCalls) Record("RegOpenKeyExW(" + WideToAnsi(path) + ")");
    if (key != kHkeyLocalMachine || !registry.count(path)) return static_cast<Lstatus>(kErrorFileNotFound);
    HandleInfo info = MakeInfo(HandleInfo::RegKey, 0, samDesired, path);
    info.creationTime = registry[path].id;
    *result = NewHandle(info);
    return 0;
}

Lstatus FakePlatform::RegCreateKeyExW(Handle key, const std::wstring& subKey, Dword samDesired, Handle* result) {
    if (registryErrors.count("RegCreateKeyExW")) return registryErrors["RegCreateKeyExW"];
    const bool redirected = wow64 && !(samDesired & kKeyWow64_64Key);
    ChangeRegistry(redirected ? L"HKLM\\Software\\WOW6432Node" + subKey.substr(8) : L"HKLM\\" + subKey, L"", std::nullopt);
    return RegOpenKeyExW(key, subKey, samDesired, result);
}

Lstatus FakePlatform::RegQueryValueExW(Handle key, const std::wstring& valueName, Dword* type, void* data, Dword* dataSize) {
    Lstatus status = 0;
    const RegistryKey* found = RegistryCall("RegQueryValueExW", key, kKeyQueryValue, status);
    if (!found || !found->values.count(valueName)) return found ? static_cast<Lstatus>(kErrorFileNotFound) : status;
    const auto& [kind, bytes] = found->values.at(valueName);
    const bool fits = bytes.size() <= *dataSize;
    if (fits) std::memcpy(data, bytes.data(), bytes.size());
    *type = kind;
    *dataSize = static_cast<Dword>(bytes.size());
    return fits ? 0 : kErrorMoreData;
}

Lstatus FakePlatform::RegSetValueExW(Handle key, const std::wstring& valueName, Dword type, const void* data, Dword dataSize) {
    Lstatus status = 0;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    if (RegistryCall("RegSetValueExW", key, kKeySetValue, status))
        ChangeRegistry(handles_.at(key).name, valueName, RegistryValue{type, {bytes, bytes + dataSize}});
    return status;
}

Lstatus FakePlatform::RegNotifyChangeKeyValue(Handle key, WinBool watchSubtree, Dword notifyFilter, Handle event,
                                              WinBool asynchronous) {
    Lstatus status = 0;
    if (!RegistryCall("RegNotifyChangeKeyValue", key, kKeyNotify, status)) return status;
    if (watchSubtree || !asynchronous || !Lookup(event, HandleInfo::Event)) return static_cast<Lstatus>(kErrorInvalidParameter);
    handles_.at(key).notifyFilter = notifyFilter;
    handles_.at(key).notifyEvent = event;
    return 0;
}

Lstatus FakePlatform::RegCloseKey(Handle key) {
    const HandleInfo* info = Lookup(key, HandleInfo::RegKey);
    badCloses += !info;
    if (!info) return 6;
    // Closing a key ends its notification by signalling it.
    if (info->notifyFilter && Lookup(info->notifyEvent, HandleInfo::Event)) handles_.at(info->notifyEvent).signalled = true;
    handles_.erase(key);
    ++handlesClosed;
    return 0;
}

Handle FakePlatform::CreateEventW(WinBool /*manualReset*/, WinBool initialState) {
    if (Fails("CreateEventW")) return 0;
    HandleInfo info = MakeInfo(HandleInfo::Event, 0, 0);
    info.signalled = initialState != 0;
    return NewHandle(info);
}

}  // namespace mjr::testing
