#include "installer/logon_task.h"

#include <array>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "common/text.h"
#include "platform/fold_case.h"
#include "installer/helper_command_line.h"

namespace mjr::installer {

std::wstring XmlEscape(std::wstring_view text) {
    std::wstring out;
    out.reserve(text.size());
    for (const wchar_t c : text) {
        switch (c) {
            case L'&': out += L"&amp;"; break;
            case L'<': out += L"&lt;"; break;
            case L'>': out += L"&gt;"; break;
            case L'"': out += L"&quot;"; break;
            case L'\'': out += L"&apos;"; break;
            default: out += c;
        }
    }
    return out;
}

namespace {

// The installed program's full path, whether or not the folder ends with a backslash.
std::wstring InstalledProgramPath(std::wstring_view installDir) {
    std::wstring program(installDir);
    if (program.back() != L'\\') program += L'\\';
    return program + kProgramFile;
}

}  // namespace

bool IsEnforceValue(std::wstring_view enforce) noexcept {
    if (enforce.empty() || enforce.size() > 9) return false;
    for (const wchar_t c : enforce)
        if (c < L'0' || c > L'9') return false;
    return true;
}

LogonTask FillLogonTask(std::wstring_view xmlTemplate, std::wstring_view installDir, std::wstring_view enforce) {
    LogonTask task;
    const auto refuse = [&task](std::wstring why, int code) {
        task.error = std::move(why);
        task.refusal = code;
        return task;
    };
    if (installDir.empty()) return refuse(L"no install folder given", kExitBadInstallDir);
    for (const wchar_t c : installDir) {
        if (c == L'"' || c < 0x20)
            return refuse(L"the install folder holds a double quote or a control character", kExitBadInstallDir);
    }
    if (!enforce.empty() && !IsEnforceValue(enforce))
        return refuse(L"ENFORCE must be decimal digits only (at most nine), not \"" + std::wstring(enforce) + L"\"",
                      kExitBadEnforce);
    const std::wstring program = InstalledProgramPath(installDir);
    std::wstring arguments;
    if (!enforce.empty()) arguments = L"<Arguments>/enforce:" + std::wstring(enforce) + L"</Arguments>";

    // The arguments first: a folder may be named like a placeholder, digits cannot.
    task.xml = ReplaceAll(ReplaceAll(xmlTemplate, L"@ARGUMENTS@", arguments), L"@PROGRAM@", XmlEscape(program));
    task.ok = true;
    return task;
}

std::wstring InstallDirOfHelper(std::wstring_view helperPath) {
    const std::size_t slash = helperPath.find_last_of(L'\\');
    return slash == std::wstring_view::npos ? std::wstring() : std::wstring(helperPath.substr(0, slash + 1));
}

bool IsInstalledProgram(Platform& platform, std::wstring_view imagePath, std::wstring_view installDir) {
    if (installDir.empty()) return false;
    return FoldPathCase(platform, imagePath) == FoldPathCase(platform, InstalledProgramPath(installDir));
}

namespace {

// File rights that change, delete or take what they are granted on.
constexpr std::uint32_t kChangeRights = 0x2 | 0x4 | 0x10 | 0x40 | 0x100  // data, append, EA, delete child, attributes
                                        | 0x10000 | 0x40000 | 0x80000     // delete, write DAC, take ownership
                                        | 0x1000000 | 0x2000000           // system security, maximum allowed
                                        | 0x10000000 | 0x40000000;        // generic all, generic write

// SDDL's two-letter rights.
constexpr std::array<std::pair<std::wstring_view, std::uint32_t>, 29> kRightNames{{
    {L"GA", 0x10000000}, {L"GR", 0x80000000}, {L"GW", 0x40000000}, {L"GX", 0x20000000},
    {L"RC", 0x20000},    {L"SD", 0x10000},    {L"WD", 0x40000},    {L"WO", 0x80000},
    {L"RP", 0x10},       {L"WP", 0x20},       {L"CC", 0x1},        {L"DC", 0x2},
    {L"LC", 0x4},        {L"SW", 0x8},        {L"LO", 0x80},       {L"DT", 0x40},
    {L"CR", 0x100},      {L"FA", 0x1F01FF},   {L"FR", 0x120089},   {L"FW", 0x120116},
    {L"FX", 0x1200A0},   {L"KA", 0xF003F},    {L"KR", 0x20019},    {L"KW", 0x20006},
    {L"KX", 0x20019},    {L"NR", 0x1},        {L"NW", 0x2},        {L"NX", 0x4},
    {L"AS", 0x1000000},
}};

// The rights of an ACE's rights field; every right when it cannot be read.
std::uint32_t RightsOf(std::wstring_view text) {
    constexpr std::uint32_t kAll = 0xFFFFFFFF;
    if (text.size() > 2 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X')) {
        if (text.size() > 10) return kAll;
        std::uint32_t mask = 0;
        for (const wchar_t c : text.substr(2)) {
            const int digit = c >= L'0' && c <= L'9' ? c - L'0'
                              : c >= L'a' && c <= L'f' ? c - L'a' + 10
                              : c >= L'A' && c <= L'F' ? c - L'A' + 10 : -1;
            if (digit < 0) return kAll;
            mask = mask << 4 | static_cast<std::uint32_t>(digit);
        }
        return mask;
    }
    std::uint32_t mask = 0;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        std::uint32_t right = kAll;
        for (const auto& [name, value] : kRightNames)
            if (name == text.substr(i, 2)) right = value;
        mask |= right;
    }
    return mask;
}

bool IsAdministrator(std::wstring_view sid) {
    return sid == L"SY" || sid == L"BA" || sid == L"S-1-5-18" || sid == L"S-1-5-32-544";
}

// The text after a component's letter ("O:", "D:") up to the next component, outside any
// parenthesis; nothing when it is not there.
std::optional<std::wstring_view> Component(std::wstring_view sddl, wchar_t letter) {
    int depth = 0;
    std::optional<std::size_t> start;
    for (std::size_t i = 0; i + 1 < sddl.size(); ++i) {
        const wchar_t c = sddl[i];
        if (c == L'(') ++depth;
        if (c == L')') --depth;
        if (depth != 0 || sddl[i + 1] != L':' || (c != L'O' && c != L'G' && c != L'D' && c != L'S'))
            continue;
        if (start) return sddl.substr(*start, i - *start);
        if (c == letter) start = i + 2;
    }
    if (start) return sddl.substr(*start);
    return std::nullopt;
}

}  // namespace

std::uint64_t NextResetRequest(std::optional<std::uint64_t> current, std::uint64_t now) noexcept {
    if (!current) return now;
    const std::uint64_t next = *current + 1;  // past the largest it starts again from now
    return next > now ? next : now;
}

bool OnlyAdministratorsMayChange(std::wstring_view sddl) {
    const auto owner = Component(sddl, L'O');
    const auto dacl = Component(sddl, L'D');
    if (!owner || !IsAdministrator(*owner) || !dacl) return false;
    const std::size_t first = dacl->find(L'(');
    if (first == std::wstring_view::npos) return dacl->find(L"NO_ACCESS_CONTROL") == std::wstring_view::npos;
    // Each ACE: (type;flags;rights;object;inherited object;SID[;condition]).
    std::vector<std::wstring_view> fields;
    std::size_t fieldStart = first + 1;
    int depth = 0;
    for (std::size_t i = first; i < dacl->size(); ++i) {
        const wchar_t c = (*dacl)[i];
        if (c == L'(' && depth++ == 0) {
            fields.clear();
            fieldStart = i + 1;
        } else if ((c == L';' && depth == 1) || (c == L')' && depth == 1)) {
            fields.push_back(dacl->substr(fieldStart, i - fieldStart));
            fieldStart = i + 1;
        }
        if (c != L')' || --depth != 0) continue;
        if (fields.size() < 6) return false;
        const std::wstring_view type = fields[0];
        const bool deny = type == L"D" || type == L"OD" || type == L"XD" || type == L"ZD";
        if (!deny && !IsAdministrator(fields[5]) && (RightsOf(fields[2]) & kChangeRights) != 0) return false;
    }
    return depth == 0;
}

}  // namespace mjr::installer
