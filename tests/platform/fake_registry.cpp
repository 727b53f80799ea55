// The fake's registry and events: keys that come and go, the two views of a 32-bit process,
// and notifications that fire once, as Windows gives them.
#include <cstring>
#include <cwctype>

#include "platform/fake_platform.h"

namespace mjr::testing {
namespace {

constexpr Lstatus kInvalidHandle = 6;
constexpr Lstatus kNotFound = static_cast<Lstatus>(kErrorFileNotFound);
constexpr Lstatus kDenied = static_cast<Lstatus>(kErrorAccessDenied);

std::wstring Upper(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towupper(c));
    return text;
}

std::wstring Parent(const std::wstring& path) { return path.substr(0, path.rfind(L'\\')); }

}  // namespace

std::wstring FakePlatform::RegistryPath(const std::wstring& subKey, Dword samDesired) const {
    std::wstring path = L"HKLM\\" + Upper(subKey);
    if (wow64 && !(samDesired & kKeyWow64_64Key) && path.rfind(L"HKLM\\SOFTWARE", 0) == 0) path.insert(13, L"\\WOW6432NODE");
    return path;
}

FakePlatform::RegistryKey* FakePlatform::KeyFor(Handle key, Lstatus& status) {
    const HandleInfo* info = Lookup(key, HandleInfo::RegKey);
    const auto it = info ? registry.find(info->name) : registry.end();
    status = !info ? kInvalidHandle : it == registry.end() || it->second.id != info->creationTime ? kErrorKeyDeleted : 0;
    return status == 0 ? &it->second : nullptr;
}

void FakePlatform::NotifyRegistry(const std::wstring& path, Dword change) {
    for (auto& [handle, info] : handles_)
        if (info.kind == HandleInfo::RegKey && info.name == path && (info.notifyFilter & change)) {
            if (auto event = handles_.find(info.notifyEvent); event != handles_.end()) event->second.signalled = true;
            info.notifyFilter = 0;
        }
}

void FakePlatform::SetRegistryValue(const std::wstring& key, const std::wstring& name, std::optional<RegistryValue> value) {
    const std::wstring path = Upper(key);
    if (!registry.count(path)) {
        registry[path].id = nextKeyId_++;
        NotifyRegistry(Parent(path), kRegNotifyChangeName);
    }
    if (value) registry[path].values[Upper(name)] = *value;
    else if (!registry[path].values.erase(Upper(name))) return;
    NotifyRegistry(path, kRegNotifyChangeLastSet);
}

void FakePlatform::DeleteRegistryKey(const std::wstring& key) {
    if (registry.erase(Upper(key))) NotifyRegistry(Parent(Upper(key)), kRegNotifyChangeName);
}

bool FakePlatform::TakeSignal(Handle event) {
    const auto it = handles_.find(event);
    const bool signalled = it != handles_.end() && it->second.kind == HandleInfo::Event && it->second.signalled;
    if (signalled) it->second.signalled = false;
    return signalled;
}

Lstatus FakePlatform::RegOpenKeyExW(Handle key, const std::wstring& subKey, Dword samDesired, Handle* result) {
    const std::wstring path = RegistryPath(subKey, samDesired);
    if (recordCalls) Record("RegOpenKeyExW(" + WideToAnsi(path) + "," + std::to_string(samDesired) + ")");
    if (auto error = registryErrors.find("RegOpenKeyExW"); error != registryErrors.end()) return error->second;
    const auto found = registry.find(path);
    if (key != kHkeyLocalMachine) return kInvalidHandle;
    if (found == registry.end()) return kNotFound;
    if (registryWritesDenied && (samDesired & kKeySetValue)) return kDenied;
    HandleInfo info = MakeInfo(HandleInfo::RegKey, 0, samDesired, path);
    info.creationTime = found->second.id;
    *result = NewHandle(info);
    return 0;
}

Lstatus FakePlatform::RegCreateKeyExW(Handle key, const std::wstring& subKey, Dword samDesired, Handle* result,
                                      Dword* disposition) {
    if (recordCalls) Record("RegCreateKeyExW(" + WideToAnsi(RegistryPath(subKey, samDesired)) + ")");
    if (auto error = registryErrors.find("RegCreateKeyExW"); error != registryErrors.end()) return error->second;
    const bool made = key == kHkeyLocalMachine && !registry.count(RegistryPath(subKey, samDesired));
    if (made && registryWritesDenied) return kDenied;
    if (made) SetRegistryValue(RegistryPath(subKey, samDesired), L"", std::nullopt);
    const bool wasRecording = recordCalls;
    recordCalls = false;
    const Lstatus status = RegOpenKeyExW(key, subKey, samDesired, result);
    recordCalls = wasRecording;
    if (status == 0 && disposition) *disposition = made ? 1 : 2;  // REG_CREATED_NEW_KEY, REG_OPENED_EXISTING_KEY
    return status;
}

Lstatus FakePlatform::RegQueryValueExW(Handle key, const std::wstring& valueName, Dword* type, void* data,
                                       Dword* dataSize) {
    if (recordCalls) Record("RegQueryValueExW");
    Lstatus status = 0;
    const RegistryKey* found = KeyFor(key, status);
    if (status != 0) return status;
    if (!(Lookup(key, HandleInfo::RegKey)->access & kKeyQueryValue)) return kDenied;
    const auto value = found->values.find(Upper(valueName));
    if (value == found->values.end()) return kNotFound;
    const auto size = static_cast<Dword>(value->second.data.size());
    status = data && dataSize && *dataSize < size ? kErrorMoreData : 0;
    if (status == 0 && data) std::memcpy(data, value->second.data.data(), size);
    if (type) *type = value->second.type;
    if (dataSize) *dataSize = size;
    return status;
}

Lstatus FakePlatform::RegSetValueExW(Handle key, const std::wstring& valueName, Dword type, const void* data,
                                     Dword dataSize) {
    if (recordCalls) Record("RegSetValueExW(" + std::to_string(type) + "," + std::to_string(dataSize) + ")");
    if (auto error = registryErrors.find("RegSetValueExW"); error != registryErrors.end()) return error->second;
    Lstatus status = 0;
    KeyFor(key, status);
    if (status != 0) return status;
    if (!(Lookup(key, HandleInfo::RegKey)->access & kKeySetValue)) return kDenied;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    SetRegistryValue(Lookup(key, HandleInfo::RegKey)->name, valueName, RegistryValue{type, {bytes, bytes + dataSize}});
    return 0;
}

Lstatus FakePlatform::RegNotifyChangeKeyValue(Handle key, WinBool watchSubtree, Dword notifyFilter, Handle event,
                                              WinBool asynchronous) {
    if (recordCalls) Record("RegNotifyChangeKeyValue(" + std::to_string(notifyFilter) + ")");
    if (auto error = registryErrors.find("RegNotifyChangeKeyValue"); error != registryErrors.end()) return error->second;
    Lstatus status = 0;
    KeyFor(key, status);
    if (status != 0) return status;
    if (!(Lookup(key, HandleInfo::RegKey)->access & kKeyNotify)) return kDenied;
    if (watchSubtree || !asynchronous || !Lookup(event, HandleInfo::Event)) return static_cast<Lstatus>(kErrorInvalidParameter);
    handles_[key].notifyFilter = notifyFilter;
    handles_[key].notifyEvent = event;
    return 0;
}

Lstatus FakePlatform::RegCloseKey(Handle key) {
    if (recordCalls) Record("RegCloseKey");
    const HandleInfo* info = Lookup(key, HandleInfo::RegKey);
    if (!info) {
        ++badCloses;
        return kInvalidHandle;
    }
    // Closing a key ends its notification by signalling it.
    if (auto event = handles_.find(info->notifyEvent); info->notifyFilter && event != handles_.end())
        event->second.signalled = true;
    handles_.erase(key);
    ++handlesClosed;
    return 0;
}

Handle FakePlatform::CreateEventW(WinBool manualReset, WinBool initialState) {
    if (recordCalls) Record("CreateEventW");
    if (Fails("CreateEventW")) return 0;
    HandleInfo info = MakeInfo(HandleInfo::Event, 0, 0);
    info.signalled = initialState != 0;
    info.access = static_cast<Dword>(manualReset);
    return NewHandle(info);
}

}  // namespace mjr::testing
