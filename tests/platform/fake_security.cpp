// The platform fake's security: the token and its privileges, SIDs, named objects in private
// namespaces, files' security descriptors, and the logon task.
#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/fake_platform.h"
#include "platform/fake_platform_internal.h"

namespace mjr::testing {
namespace {

constexpr Dword kErrorNotAllAssigned = 1300;

// A SID's bytes as text: 8 bytes of header, then 4 per sub-authority.
std::wstring SidText(const void* sid) {
    const auto* b = static_cast<const unsigned char*>(sid);
    std::wstring text;
    for (std::size_t i = 0; i < 8u + 4u * b[1]; ++i) text += static_cast<wchar_t>(L'A' + b[i] % 26) ;
    return text;
}

}  // namespace

WinBool FakePlatform::OpenProcessToken(Handle process, Dword desiredAccess, Handle* token) {
    if (recordCalls) Record("OpenProcessToken(" + Hex(desiredAccess) + ")");
    if (openTokenFails || !Lookup(process, HandleInfo::Process)) return 0;
    *token = NewHandle(MakeInfo(HandleInfo::Token, currentProcessId, desiredAccess));
    return 1;
}

WinBool FakePlatform::LookupPrivilegeValueA(const char* systemName, const char* name, Luid* luid) {
    if (recordCalls) Record(std::string("LookupPrivilegeValueA(") + (systemName ? systemName : "null") + "," + name + ")");
    const bool debug = std::strcmp(name, "SeDebugPrivilege") == 0;
    if (lookupPrivilegeFails || (!debug && std::strcmp(name, "SeIncreaseBasePriorityPrivilege") != 0)) return 0;
    luid->LowPart = debug ? 20 : 14;  // their LUIDs on Windows
    luid->HighPart = 0;
    return 1;
}

WinBool FakePlatform::AdjustTokenPrivileges(Handle token, WinBool disableAllPrivileges,
                                            const TokenPrivileges* newState, Dword bufferLength,
                                            TokenPrivileges* previousState, Dword* returnLength) {
    if (recordCalls) Record("AdjustTokenPrivileges(" + std::to_string(disableAllPrivileges) + "," + std::to_string(bufferLength) + ")");
    const HandleInfo* info = Lookup(token, HandleInfo::Token);
    if (!info || (info->access & kTokenAdjustPrivileges) == 0) return 0;
    lastAdjustment = *newState;
    lastAdjustBufferLength = bufferLength;
    if (adjustTokenResult == 0) return 0;
    if (previousState && bufferLength >= sizeof(TokenPrivileges)) {
        previousState->PrivilegeCount = 1;
        previousState->Privileges[0].Luid = newState->Privileges[0].Luid;
        previousState->Privileges[0].Attributes = privilegeAttributes_;
    }
    if (returnLength) *returnLength = sizeof(TokenPrivileges);
    privilegeAttributes_ = newState->Privileges[0].Attributes;
    // Success either way; a privilege the token lacks is only named in the last error.
    lastError = tokenPrivileges.count(newState->Privileges[0].Luid.LowPart) ? 0 : kErrorNotAllAssigned;
    return adjustTokenResult;
}

Handle FakePlatform::CreateMutexW(const std::wstring& name) {
    if (recordCalls) Record("CreateMutexW");
    if (Fails("CreateMutexW")) return 0;
    std::wstring object = name;
    const std::size_t slash = name.find(L'\\');
    if (slash != std::wstring::npos && name.compare(0, slash, L"Local") != 0 && name.compare(0, slash, L"Global") != 0) {
        // A private namespace's alias, known only to the process that opened that namespace.
        const std::wstring alias = name.substr(0, slash);
        const auto ns = std::find_if(handles_.begin(), handles_.end(), [&](const auto& h) {
            return h.second.kind == HandleInfo::Namespace && h.second.alias == alias;
        });
        if (ns == handles_.end()) {
            lastError = kErrorPathNotFound;
            return 0;
        }
        object = ns->second.name + name.substr(slash);
    }
    if (deniedObjects.count(object) || deniedObjects.count(name)) {
        lastError = kErrorAccessDenied;
        return 0;
    }
    int& holders = namedObjects[object];
    lastError = holders > 0 ? kErrorAlreadyExists : 0;
    ++holders;
    return NewHandle(MakeInfo(HandleInfo::Mutex, 0, 0, object));
}

WinBool FakePlatform::GetTokenInformation(Handle token, Dword tokenInformationClass, void* tokenInformation,
                                          Dword tokenInformationLength, Dword* returnLength) {
    if (recordCalls) Record("GetTokenInformation(" + std::to_string(tokenInformationClass) + ")");
    const HandleInfo* info = Lookup(token, HandleInfo::Token);
    if (Fails("GetTokenInformation") || Fails("GetTokenInformation(" + std::to_string(tokenInformationClass) + ")") ||
        !info || !(info->access & kTokenQuery))
        return Failed(!info ? kErrorInvalidHandle : kErrorAccessDenied);
    if (tokenInformationClass == kTokenPrivilegesClass) {
        std::vector<LuidAndAttributes> entries;
        for (const auto& [luid, attributes] : tokenPrivileges)
            entries.push_back({Luid{luid, 0}, luid == 20 ? privilegeAttributes_ : attributes});
        const Dword count = static_cast<Dword>(entries.size());
        *returnLength = static_cast<Dword>(sizeof count + count * sizeof(LuidAndAttributes));
        lastError = kErrorInsufficientBuffer;
        if (tokenInformationLength < *returnLength) return 0;
        std::memcpy(tokenInformation, &count, sizeof count);
        if (count) std::memcpy(static_cast<char*>(tokenInformation) + sizeof count, entries.data(), count * sizeof entries[0]);
        return 1;
    }
    if (tokenInformationClass == kTokenUserClass) {
        // TOKEN_USER: the SID's address and its attributes, then the SID it points at.
        std::vector<std::uint8_t> sid{1, static_cast<std::uint8_t>(tokenUser.size()), 0, 0, 0, 0, 0, 5};
        for (Dword part : tokenUser) sid.insert(sid.end(), {std::uint8_t(part), std::uint8_t(part >> 8), 0, 0});
        struct { const void* sid; Dword attributes; } head{static_cast<char*>(tokenInformation) + sizeof head, 0};
        if (tokenInformationLength < (*returnLength = static_cast<Dword>(sizeof head + sid.size())))
            return Failed(kErrorInsufficientBuffer);
        std::memcpy(tokenInformation, &head, sizeof head);
        std::memcpy(static_cast<char*>(tokenInformation) + sizeof head, sid.data(), sid.size());
        return 1;
    }
    if (tokenInformationClass != kTokenElevationClass) return Failed(kErrorInvalidParameter);
    *returnLength = sizeof(Dword);
    if (tokenInformationLength < sizeof(Dword)) return Failed(kErrorInsufficientBuffer);
    const Dword isElevated = elevated ? 1 : 0;
    std::memcpy(tokenInformation, &isElevated, sizeof isElevated);
    return 1;
}

WinBool FakePlatform::ProcessIdToSessionId(Dword processId, Dword* session) {
    if (recordCalls) Record("ProcessIdToSessionId");
    if (Fails("ProcessIdToSessionId") || processId != currentProcessId) return 0;
    *session = sessionId;
    return 1;
}

WinBool FakePlatform::CreateWellKnownSid(Dword wellKnownSidType, void* sid, Dword* sidSize) {
    if (recordCalls) Record("CreateWellKnownSid(" + std::to_string(wellKnownSidType) + ")");
    // S-1-5-32-544 and S-1-16-12288, as Windows lays them out.
    static const unsigned char admins[] = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 2, 0, 0};
    static const unsigned char high[] = {1, 1, 0, 0, 0, 0, 0, 16, 0, 0x30, 0, 0};
    const unsigned char* bytes = wellKnownSidType == kWinBuiltinAdministratorsSid ? admins
                                 : wellKnownSidType == kWinHighLabelSid         ? high
                                                                                 : nullptr;
    const Dword size = bytes == admins ? sizeof admins : sizeof high;
    if (Fails("CreateWellKnownSid") || !bytes || *sidSize < size) return 0;
    std::memcpy(sid, bytes, size);
    *sidSize = size;
    return 1;
}

Handle FakePlatform::CreateBoundaryDescriptorW(const std::wstring& name, Dword) {
    if (recordCalls) Record("CreateBoundaryDescriptorW");
    if (privateNamespaceCallsMissing) {
        lastError = kErrorProcNotFound;
        return 0;
    }
    if (Fails("CreateBoundaryDescriptorW")) return 0;
    return NewHandle(MakeInfo(HandleInfo::Boundary, 0, 0, name));
}

WinBool FakePlatform::AddSIDToBoundaryDescriptor(Handle* boundary, const void* requiredSid) {
    if (recordCalls) Record("AddSIDToBoundaryDescriptor");
    auto it = handles_.find(*boundary);
    if (Fails("AddSIDToBoundaryDescriptor") || it == handles_.end() || it->second.kind != HandleInfo::Boundary) return 0;
    it->second.name += L"|sid:" + SidText(requiredSid);
    return 1;
}

WinBool FakePlatform::AddIntegrityLabelToBoundaryDescriptor(Handle* boundary, const void* integrityLabel) {
    if (recordCalls) Record("AddIntegrityLabelToBoundaryDescriptor");
    if (privateNamespaceCallsMissing) {
        lastError = kErrorProcNotFound;
        return 0;
    }
    auto it = handles_.find(*boundary);
    if (Fails("AddIntegrityLabelToBoundaryDescriptor") || it == handles_.end() || it->second.kind != HandleInfo::Boundary)
        return 0;
    it->second.name += L"|label:" + SidText(integrityLabel);
    return 1;
}

void FakePlatform::DeleteBoundaryDescriptor(Handle boundary) {
    if (recordCalls) Record("DeleteBoundaryDescriptor");
    auto it = handles_.find(boundary);
    if (it == handles_.end() || it->second.kind != HandleInfo::Boundary) {
        ++badCloses;
        return;
    }
    handles_.erase(it);
    ++handlesClosed;
}

Handle FakePlatform::OpenNamespace(Handle boundary, const std::wstring& aliasPrefix, bool create) {
    if (privateNamespaceCallsMissing) {
        lastError = kErrorProcNotFound;
        return 0;
    }
    const HandleInfo* info = Lookup(boundary, HandleInfo::Boundary);
    if (!info) {
        lastError = kErrorInvalidHandle;
        return 0;
    }
    // Only a token holding the boundary's SIDs at its integrity level gets in: an elevated one.
    const bool needsElevation = info->name.find(L"|") != std::wstring::npos;
    if (needsElevation && !elevated) {
        lastError = kErrorAccessDenied;
        return 0;
    }
    int& holders = namespaces_[info->name];
    if (create && holders > 0) {
        lastError = kErrorAlreadyExists;
        return 0;
    }
    if (!create && holders == 0) {
        lastError = kErrorFileNotFound;
        return 0;
    }
    ++holders;
    HandleInfo ns = MakeInfo(HandleInfo::Namespace, 0, 0, L"ns:" + info->name);
    ns.alias = aliasPrefix;
    return NewHandle(ns);
}

Handle FakePlatform::CreatePrivateNamespaceW(Handle boundary, const std::wstring& aliasPrefix) {
    if (recordCalls) Record("CreatePrivateNamespaceW");
    if (Fails("CreatePrivateNamespaceW")) return 0;
    return OpenNamespace(boundary, aliasPrefix, true);
}

Handle FakePlatform::OpenPrivateNamespaceW(Handle boundary, const std::wstring& aliasPrefix) {
    if (recordCalls) Record("OpenPrivateNamespaceW");
    if (Fails("OpenPrivateNamespaceW")) return 0;
    return OpenNamespace(boundary, aliasPrefix, false);
}

WinBool FakePlatform::ClosePrivateNamespace(Handle namespaceHandle, Dword) {
    if (recordCalls) Record("ClosePrivateNamespace");
    auto it = handles_.find(namespaceHandle);
    if (it == handles_.end() || it->second.kind != HandleInfo::Namespace) {
        ++badCloses;
        return 0;
    }
    if (--namespaces_[it->second.name.substr(3)] == 0) namespaces_.erase(it->second.name.substr(3));
    handles_.erase(it);
    ++handlesClosed;
    return 1;
}

std::vector<std::uint8_t> SecurityDescriptor(const std::string& ownerSid, std::optional<std::vector<FakeAce>> dacl) {
    std::vector<std::uint8_t> sd{1, 0, 0, 0};
    const auto put = [&sd](std::uint32_t value, int width) {
        for (int k = 0; k < width; ++k) sd.push_back(static_cast<std::uint8_t>(value >> (8 * k)));
    };
    const auto putSid = [&](const std::string& text) {  // "S-1-<authority>-<sub>-<sub>..."
        const std::size_t authority = text.find('-', 2) + 1, subs = text.find('-', authority);
        sd.insert(sd.end(), {1, static_cast<std::uint8_t>(std::count(text.begin(), text.end(), '-') - 2), 0, 0, 0, 0, 0,
                             static_cast<std::uint8_t>(std::stoul(text.substr(authority)))});
        for (std::size_t at = subs; at != std::string::npos; at = text.find('-', at + 1))
            put(static_cast<std::uint32_t>(std::stoul(text.substr(at + 1))), 4);
    };
    const auto patch = [&sd](std::size_t at, std::size_t value, int width) {
        for (int k = 0; k < width; ++k) sd[at + k] = static_cast<std::uint8_t>(value >> (8 * k));
    };
    put(20, 4);  // the owner, right after the header
    sd.resize(20, 0);  // no group, no SACL, the DACL's place once known
    putSid(ownerSid);
    patch(2, 0x8000 | (dacl ? 0x4 : 0), 2);  // self-relative; DACL present
    if (!dacl) return sd;
    const std::size_t acl = sd.size();
    patch(16, acl, 4);
    sd.insert(sd.end(), {2, 0, 0, 0, 0, 0, 0, 0});  // revision; size and count follow
    for (const FakeAce& ace : *dacl) {
        const std::size_t at = sd.size();
        sd.insert(sd.end(), {ace.type, ace.flags, 0, 0});
        put(ace.mask, 4);
        if (ace.type == 5 || ace.type == 6 || ace.type == 11 || ace.type == 12) {
            put(ace.guids == 2 ? 3 : ace.guids, 4);  // ACE_OBJECT_TYPE_PRESENT, ACE_INHERITED_OBJECT_TYPE_PRESENT
            sd.insert(sd.end(), 16 * ace.guids, 0xA5);
        }
        putSid(ace.sid);
        patch(at + 2, sd.size() - at, 2);
    }
    patch(acl + 2, sd.size() - acl, 2);
    patch(acl + 4, dacl->size(), 2);
    return sd;
}

Dword FakePlatform::GetNamedSecurityInfoW(const std::wstring& objectName, Dword securityInformation,
                                          std::vector<std::uint8_t>* selfRelativeDescriptor) {
    if (recordCalls) Record("GetNamedSecurityInfoW(" + std::to_string(securityInformation) + ") " + WideToAnsi(objectName));
    if (Fails("GetNamedSecurityInfoW")) return kErrorAccessDenied;
    if (AttributesOf(objectName) == kInvalidFileAttributes) return NotFoundError(objectName);
    // Absent: as Program Files, administrators change it, users read and run.
    const auto it = securityDescriptors.find(objectName);
    *selfRelativeDescriptor = it != securityDescriptors.end() ? it->second : SecurityDescriptor("S-1-5-32-544",
        std::vector<FakeAce>{{0, 0, 0x1F01FF, "S-1-5-32-544"}, {0, 0, 0x1200A9, "S-1-5-32-545"}});
    if (!(securityInformation & kOwnerSecurityInformation)) std::fill_n(selfRelativeDescriptor->begin() + 4, 4, 0);  // no owner
    return 0;
}

std::int32_t FakePlatform::ReadScheduledTask(const std::wstring& name, ScheduledTaskRecord* record) {
    if (recordCalls) Record("ReadScheduledTask(" + WideToAnsi(name) + ")");
    if (scheduledTaskReadError) return HresultFromWin32(scheduledTaskReadError);
    if (!scheduledTask) return HresultFromWin32(kErrorFileNotFound);
    *record = *scheduledTask;
    return 0;
}

}  // namespace mjr::testing
