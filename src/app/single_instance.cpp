#include "app/single_instance.h"

#include <string>

#include "privilege/token_rights.h"

namespace mjr {
namespace {

constexpr wchar_t kLocalMutexName[] = L"Local\\MarrowbineJr.SingleInstance";
constexpr wchar_t kBoundaryName[] = L"MarrowbineJr.Elevated";
constexpr wchar_t kNamespaceAlias[] = L"MarrowbineJr";
// Private namespaces are not per session; the session in the name keeps one copy per session.
constexpr wchar_t kPrivateMutexName[] = L"MarrowbineJr\\SingleInstance.Session";

}  // namespace

bool MakeElevatedBoundary(Platform& platform, const std::wstring& name, BoundaryDescriptor& boundary) {
    unsigned char administrators[kSecurityMaxSidSize] = {};
    unsigned char highLabel[kSecurityMaxSidSize] = {};
    Dword administratorsSize = sizeof administrators;
    Dword highLabelSize = sizeof highLabel;
    if (!platform.CreateWellKnownSid(kWinBuiltinAdministratorsSid, administrators, &administratorsSize) ||
        !platform.CreateWellKnownSid(kWinHighLabelSid, highLabel, &highLabelSize))
        return false;
    boundary.reset(platform.CreateBoundaryDescriptorW(name, 0));
    return boundary && platform.AddSIDToBoundaryDescriptor(boundary.address(), administrators) &&
           platform.AddIntegrityLabelToBoundaryDescriptor(boundary.address(), highLabel);
}

bool SingleInstance::AnotherInstanceRuns() {
    if (asked_) return anotherRuns_;
    asked_ = true;
    if (ProcessIsElevated(platform_)) {
        if (const std::optional<bool> elevatedCopy = AnotherElevatedInstanceRuns()) {
            anotherRuns_ = *elevatedCopy;
            // Whatever the Local\ object says (a squatter may hold it), only so later
            // unelevated starts find it.
            if (!anotherRuns_) AnotherLocalInstanceRuns();
            return anotherRuns_;
        }
    }
    anotherRuns_ = AnotherLocalInstanceRuns();
    return anotherRuns_;
}

std::optional<bool> SingleInstance::AnotherElevatedInstanceRuns() {
    Dword session = 0;
    if (!platform_.ProcessIdToSessionId(platform_.GetCurrentProcessId(), &session)) return std::nullopt;
    // Names live in locals: a temporary freed between a call and GetLastError may reset it.
    const std::wstring boundaryName = kBoundaryName;
    const std::wstring alias = kNamespaceAlias;
    const std::wstring mutexName = kPrivateMutexName + std::to_wstring(session);
    BoundaryDescriptor boundary(platform_, 0);
    if (!MakeElevatedBoundary(platform_, boundaryName, boundary)) return std::nullopt;
    UniquePrivateNamespace privateNamespace(platform_, platform_.CreatePrivateNamespaceW(boundary.get(), alias));
    if (!privateNamespace) {
        // Another elevated copy made it (in this session or another); use theirs.
        if (platform_.GetLastError() != kErrorAlreadyExists) return std::nullopt;
        privateNamespace = UniquePrivateNamespace(platform_, platform_.OpenPrivateNamespaceW(boundary.get(), alias));
        if (!privateNamespace) return std::nullopt;
    }

    const Handle mutex = platform_.CreateMutexW(mutexName);
    const Dword error = platform_.GetLastError();
    if (mutex == 0) {
        // Only elevated administrators make objects here: one we may not open is still a copy.
        if (error == kErrorAccessDenied) return true;
        return std::nullopt;
    }
    privateMutex_ = UniqueHandle(platform_, mutex);
    namespace_ = std::move(privateNamespace);
    return error == kErrorAlreadyExists;
}

bool SingleInstance::AnotherLocalInstanceRuns() {
    const std::wstring name = kLocalMutexName;
    const Handle mutex = platform_.CreateMutexW(name);
    const Dword error = platform_.GetLastError();
    // An object of the name that this process may not open was made by another process,
    // most likely an elevated copy; an unelevated start gives way to it too.
    if (mutex == 0) return error == kErrorAccessDenied;
    localMutex_ = UniqueHandle(platform_, mutex);
    return error == kErrorAlreadyExists;
}

}  // namespace mjr
