#include "privilege/descriptor_rights.h"

#include <string>

namespace mjr {
namespace {

constexpr std::uint16_t kDaclPresent = 0x0004;   // SE_DACL_PRESENT
constexpr std::uint8_t kAccessAllowed = 0;       // ACCESS_ALLOWED_ACE_TYPE
constexpr std::uint8_t kAccessDenied = 1;        // ACCESS_DENIED_ACE_TYPE
constexpr std::uint8_t kAllowedObject = 5, kAllowedCallback = 9, kAllowedCallbackObject = 11;
constexpr std::uint8_t kInheritOnly = 0x08;      // INHERIT_ONLY_ACE
constexpr Dword kGenericRead = 0x80000000, kGenericWrite = 0x40000000, kGenericExecute = 0x20000000,
                kGenericAll = 0x10000000;
// FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS.
constexpr Dword kFileGenericRead = 0x120089, kFileGenericWrite = 0x120116, kFileGenericExecute = 0x1200A0,
                kFileAllAccess = 0x1F01FF;

// Reads little-endian fields with bounds checked; any read past the end spoils the reader.
struct Bytes {
    std::span<const std::uint8_t> data;
    bool ok = true;
    std::uint32_t At(std::size_t offset, std::size_t width) {
        if (offset > data.size() || data.size() - offset < width) {
            ok = false;
            return 0;
        }
        std::uint32_t value = 0;
        for (std::size_t i = width; i > 0; --i) value = (value << 8) | data[offset + i - 1];
        return value;
    }
};

// A SID as its usual text, "S-1-5-32-544"; empty when it does not fit.
std::string SidText(Bytes& bytes, std::size_t offset) {
    const std::uint32_t count = bytes.At(offset + 1, 1);
    if (!bytes.ok || bytes.At(offset, 1) != 1 || count > 15) return {};
    std::uint64_t authority = 0;
    for (std::size_t i = 0; i < 6; ++i) authority = (authority << 8) | bytes.At(offset + 2 + i, 1);
    std::string text = "S-1-" + std::to_string(authority);
    for (std::uint32_t i = 0; i < count; ++i) {
        text += '-';
        text += std::to_string(bytes.At(offset + 8 + 4 * i, 4));
    }
    return bytes.ok ? text : std::string();
}

bool IsAdministration(const std::string& sid, std::string_view alsoAdministration) {
    return sid == alsoAdministration || sid == "S-1-5-18" || sid == "S-1-5-32-544" ||
           sid == "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";  // TrustedInstaller
}

// Groups every ordinary user's token holds, however the user signed in: a deny entry for one
// of them shuts every user out. INTERACTIVE and the other logon kinds are missing from a
// user's own scheduled task or service.
bool HeldByEveryUser(const std::string& sid) { return sid == "S-1-1-0" || sid == "S-1-5-11" || sid == "S-1-5-32-545"; }

// Where an entry's SID starts: after the mask, and in an object entry after its flags and the
// GUIDs they announce. Zero for kinds that grant nothing.
std::size_t SidOffset(Bytes& acl, std::size_t at, std::uint32_t type) {
    if (type == kAccessAllowed || type == kAccessDenied || type == kAllowedCallback) return at + 8;
    if (type != kAllowedObject && type != kAllowedCallbackObject) return 0;
    const std::uint32_t present = acl.At(at + 8, 4);
    return at + 12 + ((present & 1) ? 16 : 0) + ((present & 2) ? 16 : 0);
}

// CREATOR OWNER and CREATOR GROUP stand for someone only when an entry is inherited.
bool StandsForNobody(const std::string& sid) { return sid == "S-1-3-0" || sid == "S-1-3-1"; }

constexpr char kOwnerRights[] = "S-1-3-4";

Dword MapGeneric(Dword mask) {
    Dword mapped = mask & 0x0FFFFFFF;
    if (mask & kGenericRead) mapped |= kFileGenericRead;
    if (mask & kGenericWrite) mapped |= kFileGenericWrite;
    if (mask & kGenericExecute) mapped |= kFileGenericExecute;
    if (mask & kGenericAll) mapped |= kFileAllAccess;
    return mapped;
}

}  // namespace

Dword RightsThatReplace(ObjectKind kind) noexcept {
    const Dword always = kDelete | kWriteDac | kWriteOwner | kFileWriteData;
    if (kind == ObjectKind::File) return always | kFileAppendData;
    return always | kFileDeleteChild | (kind == ObjectKind::ReachedFolder ? kFileAppendData : 0);
}

std::optional<Dword> RightsOrdinaryUsersHold(std::span<const std::uint8_t> descriptor, ObjectKind kind,
                                             std::string_view alsoAdministration) noexcept {
    try {
        Bytes bytes{descriptor};
        const auto control = static_cast<std::uint16_t>(bytes.At(2, 2));
        const std::uint32_t ownerOffset = bytes.At(4, 4);
        const std::uint32_t daclOffset = bytes.At(16, 4);
        if (!bytes.ok || bytes.At(0, 1) != 1) return std::nullopt;
        const Dword replacing = RightsThatReplace(kind);
        if (!(control & kDaclPresent) || daclOffset == 0) return replacing;  // a NULL DACL lets anyone in
        const std::string owner = ownerOffset ? SidText(bytes, ownerOffset) : std::string();
        if (ownerOffset && owner.empty()) return std::nullopt;
        const bool ownerIsUser = !owner.empty() && !IsAdministration(owner, alsoAdministration);

        const std::uint32_t aclSize = bytes.At(daclOffset + 2, 2);
        const std::uint32_t aceCount = bytes.At(daclOffset + 4, 2);
        if (!bytes.ok || aclSize < 8 || daclOffset + std::size_t{aclSize} > descriptor.size()) return std::nullopt;
        Bytes acl{descriptor.subspan(daclOffset, aclSize)};
        Dword granted = 0, denied = 0;
        bool ownerRightsSaid = false;
        std::size_t at = 8;
        for (std::uint32_t i = 0; i < aceCount; ++i) {
            const std::uint32_t type = acl.At(at, 1), flags = acl.At(at + 1, 1), size = acl.At(at + 2, 2);
            if (!acl.ok || size < 8) return std::nullopt;
            const Dword mask = MapGeneric(acl.At(at + 4, 4));
            // Every allow counts, its condition or object type taken as met; a deny only of the plain kind.
            const std::size_t sidAt = SidOffset(acl, at, type);
            const std::string sid = sidAt ? SidText(acl, sidAt) : "";
            if (!acl.ok || (sidAt && sid.empty())) return std::nullopt;
            at += size;
            // Entries only for what is created inside, and kinds that grant nothing, pass by.
            if ((flags & kInheritOnly) || !sidAt) continue;
            bool user = !IsAdministration(sid, alsoAdministration) && !StandsForNobody(sid);
            bool everyUser = HeldByEveryUser(sid);
            if (sid == kOwnerRights) {
                ownerRightsSaid = true;  // the owner's implied rights give way to these
                user = ownerIsUser;
                everyUser = false;  // a deny here shuts out the owner alone
            }
            if (type == kAccessDenied) {
                if (everyUser) denied |= mask & ~granted;
            } else if (user) {
                granted |= mask & ~denied;
            }
        }
        // An owner holds READ_CONTROL and WRITE_DAC whatever the entries say, unless OWNER RIGHTS speaks.
        if (ownerIsUser && !ownerRightsSaid) granted |= kWriteDac;
        return granted & replacing;
    } catch (...) {
        return std::nullopt;
    }
}

}  // namespace mjr
