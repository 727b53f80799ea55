#include "doctor/favorite_findings.h"

#include <algorithm>
#include <functional>

#include "doctor/cpu_list_findings.h"
#include "common/text.h"
#include "doctor/path_reach.h"
#include "doctor/pattern_walk.h"
#include "doctor/report_text.h"
#include "doctor/user_access.h"
#include "engine/cpu_list.h"
#include "engine/image_path.h"
#include "engine/priority.h"
#include "platform/fold_case.h"
#include "profile/path_names.h"
#include "profile/path_pattern.h"
#include "platform/read_whole_file.h"

namespace mjr::doctor {
namespace {

using Emit = std::function<void(const std::wstring&)>;

std::wstring Folded(std::wstring_view text) {
    std::wstring folded;
    for (wchar_t c : text) {
        if (c == L' ') continue;
        folded += (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c;
    }
    return folded;
}

// The word a priority text most likely means: the same letters in other case or with
// blanks, or a longer spelling of it ("Realtime", "BelowNormal", "Idle").
std::wstring_view LikelyPriorityWord(std::wstring_view text) {
    const std::wstring folded = Folded(text);
    if (folded.empty()) return {};
    // The program's own words, "Default" last.
    const auto first = [](auto matches) -> std::wstring_view {
        for (const PriorityWord& entry : kPriorityWords)
            if (matches(Folded(entry.word))) return entry.word;
        return matches(Folded(kLeavePriorityWord)) ? kLeavePriorityWord : std::wstring_view{};
    };
    const std::wstring_view same = first([&](const std::wstring& word) { return folded == word; });
    if (!same.empty()) return same;
    return first([&](const std::wstring& word) { return folded.rfind(word, 0) == 0; });
}

// A drive letter or \\server\share, then backslash-separated names without "." or "..":
// the only form in which the program ever sees a running program's path.
bool IsPlainFullPath(std::wstring_view path) {
    std::size_t rest;
    if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\') {
        rest = 3;
    } else if (path.rfind(L"\\\\", 0) == 0) {
        rest = 2;
    } else {
        return false;
    }
    if (path.find(L'/') != std::wstring_view::npos) return false;
    std::wstring_view names = path.substr(rest);
    for (std::size_t start = 0; start <= names.size();) {
        std::size_t end = names.find(L'\\', start);
        if (end == std::wstring_view::npos) end = names.size();
        std::wstring_view name = names.substr(start, end - start);
        if (name.empty() || name == L"." || name == L"..") return false;
        start = end + 1;
    }
    return true;
}

bool SameName(Platform& platform, std::wstring_view a, std::wstring_view b) {
    return FoldPathCase(platform, a) == FoldPathCase(platform, b);
}

// The path spelled as the file system spells each of its names (the drive letter upper
// case); a name that cannot be looked up stays as written.
std::wstring DiskSpelling(Platform& platform, std::wstring_view path) {
    if (path.size() < 3) return std::wstring(path);
    std::size_t rootEnd;
    std::wstring spelled;
    if (path[1] == L':') {
        spelled = path.substr(0, 2);
        if (spelled[0] >= L'a' && spelled[0] <= L'z') spelled[0] = static_cast<wchar_t>(spelled[0] - 32);
        rootEnd = 2;
    } else {
        // \\server\share is a name of the network, not of a directory: kept as written.
        const std::size_t server = path.find(L'\\', 2);
        const std::size_t share = server == std::wstring_view::npos ? server : path.find(L'\\', server + 1);
        rootEnd = share == std::wstring_view::npos ? path.size() : share;
        spelled = path.substr(0, rootEnd);
    }
    for (std::size_t start = rootEnd + 1; start <= path.size();) {
        std::size_t end = path.find(L'\\', start);
        if (end == std::wstring_view::npos) end = path.size();
        const std::wstring name(path.substr(start, end - start));
        std::optional<std::wstring> found;
        if (name.find_first_of(L"*?") == std::wstring::npos) found = platform.FindFirstFileName(spelled + L"\\" + name);
        spelled += L"\\" + (found && SameName(platform, *found, name) ? *found : name);
        start = end + 1;
    }
    return spelled;
}

bool HasBlankAtAnEnd(std::wstring_view text) { return !text.empty() && (text.front() == L' ' || text.back() == L' '); }

// The first %NAME% in a text, or empty.
std::wstring_view FirstVariable(std::wstring_view text) {
    const std::size_t open = text.find(L'%');
    const std::size_t close = open == std::wstring_view::npos ? open : text.find(L'%', open + 1);
    if (close == std::wstring_view::npos || close == open + 1) return {};
    return text.substr(open, close - open + 1);
}

// How people write a path that Windows never gives a running program: blanks at an end, the
// quotes of Explorer's "Copy as path", an environment variable, forward slashes, and the "?"
// that an ANSI file keeps of a letter outside its code page. True when one was found.
bool HowPeopleMisWriteAPath(Platform& platform, const std::wstring& path, ProfileEncoding encoding, const Emit& emit) {
    const std::wstring shown = L"Path " + Quoted(path);
    if (HasBlankAtAnEnd(path)) {
        emit(shown + L" has a blank at its " + (path.front() == L' ' ? L"start" : L"end") + L", which a running "
             L"program's path never has, so it never matches: write " + Quoted(TrimSpaces(path)));
        return true;
    }
    if (path.size() >= 2 && (path.front() == L'"' || path.back() == L'"')) {
        std::wstring_view bare = path;
        if (bare.front() == L'"') bare.remove_prefix(1);
        if (!bare.empty() && bare.back() == L'"') bare.remove_suffix(1);
        emit(shown + L" is in double quotes (as Explorer's \"Copy as path\" gives it); the quotes count as part of "
             L"the path, so it never matches: remove the quotes: " + Quoted(bare));
        return true;
    }
    // A name the program expands says its own piece when it matches nothing here.
    if (PathNameAtStart(path)) return true;
    if (const std::wstring_view variable = FirstVariable(path); !variable.empty()) {
        const std::wstring expanded = platform.ExpandEnvironmentStringsW(path);
        emit(shown + L" holds " + Shown(variable) + L", which the program does not expand: " +
             (expanded != path ? L"write " + Quoted(expanded) : std::wstring(L"no such variable is set here either")));
        return true;
    }
    if (path.find(L'/') != std::wstring::npos) {
        emit(shown + L" has forward slashes; Windows names running programs with backslashes: write " +
             Quoted(ReplaceAll(path, L"/", L"\\")));
        return true;
    }
    // "\\?\" opens a path of its own kind; any other "?" is no character of a file name.
    const std::size_t question = path.find(L'?', path.rfind(L"\\\\?\\", 0) == 0 ? 4 : 0);
    if (question != std::wstring::npos) {
        emit(shown + L" holds \"?\", which no file name holds" +
             (encoding == ProfileEncoding::Ansi
                  ? L": an ANSI profile keeps a \"?\" of each letter its code page cannot hold; save the profile as "
                    L"UTF-8 (Notepad: Save as, Encoding UTF-8) and write the letters again"
                  : L": write the file's real name"));
        return true;
    }
    return false;
}

// The file's own name as Windows gives it, in drive-letter form: "\\?\" dropped, "\\?\UNC\"
// written as "\\".
std::optional<std::wstring> NameWindowsGives(Platform& platform, const std::wstring& path) {
    std::optional<std::wstring> name = FinalPathName(platform, path);
    if (!name) return name;
    if (name->rfind(L"\\\\?\\UNC\\", 0) == 0) return L"\\\\" + name->substr(8);
    if (name->rfind(L"\\\\?\\", 0) == 0) return name->substr(4);
    return name;
}

bool EndsWithIgnoringCase(Platform& platform, std::wstring_view path, std::wstring_view end) {
    return path.size() >= end.size() && SameName(platform, path.substr(path.size() - end.size()), end);
}

// Through the one gate for file-system calls: a share, a device or a pipe is never touched.
bool IsLocalFile(Platform& platform, const std::wstring& path) {
    if (!ReachOf(platform, path).MayTouch()) return false;
    const Dword attributes = platform.GetFileAttributesW(path);
    return attributes != kInvalidFileAttributes && !(attributes & kFileAttributeDirectory);
}

// Why the program refuses a pattern, as the table decided it at the load.
void RefusalWarning(const FavoritesTable& favorites, std::size_t index, const Emit& emit) {
    const FavoriteRecord& favorite = favorites.Records()[index];
    const std::wstring refused = L"Path pattern " + Quoted(favorite.Path) + L" is refused and matches nothing: ";
    const std::wstring& windows = favorites.WindowsDirectory();
    switch (favorites.RefusalAt(index)) {
        case PatternRefusal::TooLong:
            emit(L"Path pattern " + Quoted(favorite.Path) + L" is longer than any running program's path (" +
                 std::to_wstring(kMaxPatternChars) + L" characters at most): refused, it matches nothing");
            return;
        case PatternRefusal::NoFixedFirstFolder:
            emit(refused + L"a pattern must start with a drive and a whole folder name without \"*\" (C:\\Games\\...), "
                 L"or a share and one such folder (\\\\server\\share\\Games\\...), so it never spreads over every "
                 L"folder of a drive or a share");
            return;
        case PatternRefusal::UsersFolder:
            emit(refused + L"it reaches folders Windows lets every user write (\\Users but one user's own folder, "
                 L"\\ProgramData, \\Windows\\Temp, \\$Recycle.Bin), where any user could put a program it matches");
            return;
        case PatternRefusal::DevicePath:
            emit(refused + L"\"\\\\?\\\" and \"\\\\.\\\" paths are never the name Windows gives a running program; "
                 L"start the pattern with the drive letter (C:\\...)");
            return;
        case PatternRefusal::WindowsFolder:
            emit(refused + L"it raises its programs (" + Quoted(favorite.Priority) + L") and reaches below the Windows "
                 L"folder (\\Windows on any drive" + (windows.empty() ? L"" : L", and " + windows + L" here") +
                 L"), where ordinary users can add programs (\\Windows\\Tasks, \\Windows\\tracing and others); there "
                 L"a pattern may only lower or place its programs (Normal or below, Eco, processors): name a program "
                 L"there by its exact path");
            return;
        case PatternRefusal::None: return;
    }
}

// A pattern the program takes below the Windows folder, only because it raises nothing.
void LoweringUnderWindowsNote(Platform& platform, const FavoritesTable& favorites, std::size_t index,
                              const Emit& emit) {
    const std::wstring& path = favorites.Records()[index].Path;
    if (RefusalOf(FoldPathCase(platform, path), true, favorites.WindowsDirectory()) != PatternRefusal::WindowsFolder)
        return;
    emit(L"Path pattern " + Quoted(path) + L" reaches below the Windows folder, where ordinary users can add "
         L"programs; it is taken because it only lowers or places its programs: a class above Normal or +NoEco "
         L"there would be refused");
}

// What ordinary users who can put a program at the path gain from a favourite that raises.
std::wstring WhatItGets(std::wstring_view priorityText) {
    const PriorityRequest request = ReadPriorityText(priorityText);
    std::wstring gets = request.priorityClass == 0x100 || request.priorityClass == 0x80 || request.priorityClass == 0x8000
                            ? std::wstring(PriorityClassToName(request.priorityClass))
                            : std::wstring();
    if (request.power == PowerWord::NoEco) gets += (gets.empty() ? L"" : L" and ") + std::wstring(L"EcoQoS kept off (+NoEco)");
    gets = L"it gets " + gets + L" from an elevated program";
    if (request.priorityClass == 0x100)  // REALTIME_PRIORITY_CLASS
        gets += L", ahead of the system's own work (a busy loop there can freeze the machine)";
    return gets;
}

// A permission warning in two lines: what any user can do, then what to do.
void AccessWarning(const std::wstring& subject, const UserAccessCheck::Finding& open, std::wstring_view priority,
                   const Emit& emit) {
    using Finding = UserAccessCheck::Finding;
    if (open.what == Finding::Unreadable) {
        emit(subject + L": " + UserAccessCheck::Describe(open) + L": whether ordinary users can replace this program "
             L"cannot be checked");
        return;
    }
    const bool sure = open.what == Finding::Changeable || open.what == Finding::NoPermissionsOnDrive;
    const std::wstring can = std::wstring(sure ? L"any user can " : L"any user may be able to ") +
                             (IsPathPattern(subject) ? L"put a program where it matches"
                              : open.missing.empty() ? L"replace this program"
                                                     : L"make this program");
    std::wstring why = UserAccessCheck::Describe(open);
    if (open.what == Finding::Unfinished)
        why = L"it reaches more than " + std::to_wstring(kMaxWalkedFolders) + L" folders or took more than " +
              std::to_wstring(kMaxWalkMilliseconds / 1000) + L" s to check, so the doctor stopped at " +
              Quoted(open.path) + L" and could not check everything";
    emit(subject + L": " + can + L", and " + WhatItGets(priority) + L": " + why);
    emit(L"  what to do: keep it in a folder only administrators can change, such as Program Files; for a "
         L"program that must stay where users can write (a game library), give it Normal or a lower class without "
         L"+NoEco, or accept the risk");
}

std::wstring NamesNoFile(const std::wstring& path) {
    return L"Path " + Quoted(path) + L" names no file that exists (or that can be reached); it matches nothing until "
           L"a program runs from exactly that path";
}

void PathWarnings(Platform& platform, UserAccessCheck& access, const FavoritesTable& favorites, std::size_t index,
                  ProfileEncoding encoding, const Emit& emit) {
    const FavoriteRecord& favorite = favorites.Records()[index];
    const std::wstring& path = favorite.Path;
    if (path.empty()) {
        emit(L"the Path is empty: it matches no process, so this favourite is never used");
        return;
    }
    // A missing fixed first folder may come of how the path is written, which is said first.
    const PatternRefusal refusal = favorites.RefusalAt(index);
    if (refusal != PatternRefusal::None && refusal != PatternRefusal::NoFixedFirstFolder) {
        RefusalWarning(favorites, index, emit);
        return;
    }
    if (HowPeopleMisWriteAPath(platform, path, encoding, emit)) return;
    // Only a favourite that raises gives a user who can put a program there something to gain.
    const bool raises = RaisesPriority(favorite.Priority);
    if (IsPathPattern(path)) {
        if (refusal != PatternRefusal::None) {
            RefusalWarning(favorites, index, emit);
            return;
        }
        LoweringUnderWindowsNote(platform, favorites, index, emit);
        if (const PathReach reach = ReachOf(platform, path); !reach.MayTouch()) {
            emit(reach.warning);
        } else if (const auto open = raises ? FirstOpenInReach(platform, access, path) : UserAccessCheck::Finding{};
                   open.what != UserAccessCheck::Finding::Closed) {
            AccessWarning(L"Path pattern " + Quoted(path), open, favorite.Priority, emit);
        }
        return;
    }
    if (EndsWithIgnoringCase(platform, path, L".lnk")) {
        emit(L"Path " + Quoted(path) + L" is a shortcut; name the program it starts, from its Properties, Target");
        return;
    }
    if (!IsPlainFullPath(path)) {
        emit(L"Path " + Quoted(path) + L" is not a plain full path (a drive letter or \\\\server\\share, "
             L"backslashes, no . or .. names); running programs are known only by such paths, so it never matches");
        return;
    }
    // Before any file-system call: nothing on a share, a device or a pipe is reached.
    if (const PathReach reach = ReachOf(platform, path); !reach.MayTouch()) {
        emit(reach.warning);
        return;
    }
    // From the root down; below a folder users can write (where a junction can be swapped in at
    // any name), or past a link, nothing is looked at: only a program file users may write is.
    if (const auto open = access.FirstOpen(path, ObjectKind::File); open.what != UserAccessCheck::Finding::Closed) {
        // Users gain nothing from a favourite that does not raise; unwarned, nothing below is looked at.
        if (!raises) {
            if (!open.missing.empty()) emit(NamesNoFile(path));
            return;
        }
        AccessWarning(L"Path " + Quoted(path), open, favorite.Priority, emit);
        if (open.what != UserAccessCheck::Finding::Changeable || open.path != path) return;
    }
    const bool namesExe = EndsWithIgnoringCase(platform, path, L".exe");
    const std::optional<std::wstring> longForm = ToLongPath(platform, path);
    if (!longForm) {
        emit(L"Path " + Quoted(path) + L" is too long (1024 characters or more) to match any process");
        return;
    }
    // A share's path has no long form looked up, so a missing file shows only in its attributes.
    const Dword attributes = longForm->empty() ? kInvalidFileAttributes : platform.GetFileAttributesW(*longForm);
    const Dword error = attributes == kInvalidFileAttributes && !longForm->empty() ? platform.GetLastError() : 0;
    if (longForm->empty() || error == kErrorFileNotFound || error == kErrorPathNotFound) {
        // Explorer hides extensions, so "Tool" is often written for "Tool.exe".
        if (!namesExe && IsLocalFile(platform, path + L".exe"))
            emit(L"Path " + Quoted(path) + L" names no file, but the program " + Quoted(path + L".exe") +
                 L" exists (Explorer hides the .exe): write " + Quoted(path + L".exe"));
        else
            emit(NamesNoFile(path));
        return;
    }
    if (attributes != kInvalidFileAttributes && (attributes & kFileAttributeDirectory)) {
        emit(L"Path " + Quoted(path) + L" is a folder, not a program; name a program in it, or match them all with " +
             Quoted(path + (path.back() == L'\\' ? L"" : L"\\") + L"*.exe"));
        return;
    }
    if (!namesExe && attributes != kInvalidFileAttributes) {
        emit(L"Path " + Quoted(path) + L" is a file but not a program (.exe), and only programs run as processes: "
             L"name the program that opens it");
        return;
    }
    // Letter case never matters: only a difference that remains once case is folded counts.
    const std::wstring spelled = DiskSpelling(platform, *longForm);
    if (!SameName(platform, spelled, path)) {
        emit(L"Path " + Quoted(path) + L" is not the file's long form (a short 8.3 name?); running programs are "
             L"known by the long form: write " + Quoted(spelled));
    } else if (const std::optional<std::wstring> final = NameWindowsGives(platform, path);
               final && !SameName(platform, *final, path)) {
        emit(L"Path " + Quoted(path) + L" is not the name Windows gives that file (a subst or mapped drive letter, "
             L"a junction or a symbolic link is on the way); running programs are known by that name: write " +
             Quoted(*final));
    }
}

void AffinityWarnings(const std::wstring& digits, const Machine& machine, const Emit& emit) {
    if (LeavesProcessors(digits)) return;
    if (CpuTextWarnings(digits, machine, emit)) return;
    const std::wstring_view trimmed = TrimSpaces(digits);
    const bool holdsDigit = std::any_of(digits.begin(), digits.end(), IsAsciiDigit);
    if (!holdsDigit) {
        emit((digits.empty() ? std::wstring(L"no CPU digits") : L"CPU digits " + Quoted(digits) + L" hold no digit") +
             L": the program sets processor 0 alone, and since the text never equals what it reads back, again and "
             L"counted on every scan: write \"Default\" to leave the processors alone");
        return;
    }
    if (HasBlankAtAnEnd(digits)) {
        emit(L"CPU digits " + Quoted(digits) + L" have a blank at an end, which is taken as processor 0 and never "
             L"equals what the program reads back, so it is set again and counted on every scan: write " +
             Quoted(AffinityMaskToDigits(DigitsToMask(machine.Cpu, trimmed), machine.Cpu.MaxCpuIndex)));
        return;
    }
    std::wstring nonDigits, unreported;
    std::uint64_t lacking = 0;
    for (wchar_t c : digits) {
        if (!IsAsciiDigit(c)) {
            if (nonDigits.find(c) == std::wstring::npos) nonDigits += c;
        } else if (static_cast<Dword>(c - L'0') >= machine.Processors) {
            lacking |= std::uint64_t{1} << (c - L'0');
        } else if (c - L'0' > machine.Cpu.MaxCpuIndex) {
            if (unreported.find(c) == std::wstring::npos) unreported += c;
        }
    }
    const std::wstring shown = L"CPU digits " + Quoted(digits);
    const std::wstring hint = NumberHint(digits, machine);
    if (lacking != 0) {
        // A list leaves out what a PC lacks, where digits are refused whole.
        std::uint64_t named = 0;
        for (wchar_t c : digits)
            if (IsAsciiDigit(c)) named |= std::uint64_t{1} << (c - L'0');
        std::wstring list = FormatCpuList(named);
        if (list.find_first_of(L";-") == std::wstring::npos) list += L';';
        emit(shown + L" name " + ProcessorsShown(lacking) + L", which this machine lacks (it has " +
             ProcessorsShown(machine.Cpu.Topology.AllMask) +
             L"): Windows refuses the setting, and a failure is counted on every scan" + hint + L"; the list form " +
             Quoted(list) + L" fits every PC (each PC takes the processors of it that it has)");
        return;
    }
    if (!unreported.empty()) {
        emit(shown + L" name processors above " + std::to_wstring(machine.Cpu.MaxCpuIndex) + L" (" + unreported +
             L"), which the program never reads back: it sets this affinity again and counts it on every scan" + hint);
        return;
    }
    const std::wstring settled = AffinityMaskToDigits(DigitsToMask(machine.Cpu, digits), machine.Cpu.MaxCpuIndex);
    if (!nonDigits.empty()) {
        emit(shown + L" hold characters that are not digits (" + Quoted(nonDigits) + L"), each taken as processor 0; "
             L"the text never equals what the program reads back, so it is set again and counted on every scan: "
             L"write " + Quoted(settled));
    } else if (settled != digits) {
        emit(shown + L" are out of order or repeated; the program reads the affinity back as " + Quoted(settled) +
             L" and compares texts, so it sets it again and counts it on every scan: write " + Quoted(settled) +
             L", the order that settles" + hint);
    }
}

void PriorityWarnings(const std::wstring& text, const Emit& emit) {
    bool joined = false;
    const std::wstring_view power = PowerPart(text, joined);
    if (joined && !SameWord(power, L"Eco") && !SameWord(power, L"NoEco")) {
        emit(L"priority " + Quoted(text) + L": " + Quoted(TrimSpaces(power)) + L" is no power word (Eco or NoEco): "
             L"Windows refuses the whole text and a failure is counted on every scan");
        return;
    }
    const std::wstring word(PriorityPart(text));
    const PriorityRequest request = ReadPriorityText(text);
    if (joined && request.power == PowerWord::Eco && (request.priorityClass == 0x100 || request.priorityClass == 0x80))
        emit(L"priority " + Quoted(text) + L" asks for speed and for slowness at once: EcoQoS slows the program the "
             L"class hurries; write " + Quoted(word + L"+NoEco") + L" to keep it fast, or a lower class with +Eco");
    if (!joined && SameWord(word, L"Eco")) return;
    if (LeavesPriority(word)) return;
    const Dword priorityClass = PriorityNameToClass(word);
    if (priorityClass == 0x100) {
        emit(L"priority " + Quoted(word) + (SameWord(word, L"Real") ? L"" : L" (Real)") +
             L" takes only with the right to raise scheduling priority (an "
             L"elevated administrator); without it Windows gives High instead, and the program asks for Real again "
             L"on every scan");
        return;
    }
    if (priorityClass != 0) return;
    const std::wstring_view likely = LikelyPriorityWord(word);
    std::wstring advice = likely.empty() ? std::wstring(L"none of them is close")
                                         : L"likely meant: " + Quoted(likely);
    emit(L"priority " + Quoted(word) + L" is not one of Real, High, Above, Normal, Below, Low or Default (or "
         L"Realtime, Above normal, Below normal, Idle): Windows refuses it and a failure is counted on every scan; " +
         advice);
}

}  // namespace

std::vector<std::wstring> FavoriteWarnings(Platform& platform, UserAccessCheck& access, const FavoritesTable& favorites,
                                           const std::vector<std::size_t>& favoriteLines,
                                           const Machine& machine, ProfileEncoding encoding) {
    std::vector<std::wstring> warnings;
    const std::vector<FavoriteRecord>& records = favorites.Records();
    for (std::size_t i = 0; i < records.size() && i < favoriteLines.size(); ++i) {
        const FavoriteRecord& favorite = records[i];
        const std::wstring prefix = L"line " + std::to_wstring(favoriteLines[i]) + L": ";
        // A line that starts with a blank goes on from the one before.
        const Emit emit = [&](const std::wstring& text) { warnings.push_back(text[0] == L' ' ? text : prefix + text); };
        // An exact Path taken by an earlier line: the same path in any letter case, or a pattern.
        const FavoriteRecord* first =
            IsPathPattern(favorite.Path) ? nullptr : favorites.FindFirst(FoldPathCase(platform, favorite.Path));
        if (first && first != &favorite) {
            const auto firstIndex = static_cast<std::size_t>(first - records.data());
            const std::wstring firstLine = std::to_wstring(favoriteLines[firstIndex]);
            emit(IsPathPattern(first->Path)
                     ? L"this Path is never used: the pattern on line " + firstLine + L" matches its program first"
                     : L"this Path is already named on line " + firstLine +
                           L" (letter case does not count); the program uses only that favourite, so this one is never applied");
            // The pattern's class still reaches this file: whoever can replace it gets that.
            if (IsPathPattern(first->Path) && RaisesPriority(first->Priority) && IsPlainFullPath(favorite.Path) &&
                ReachOf(platform, favorite.Path).MayTouch())
                if (const auto open = access.FirstOpen(favorite.Path, ObjectKind::File);
                    open.what != UserAccessCheck::Finding::Closed)
                    AccessWarning(L"Path " + Quoted(favorite.Path), open, first->Priority, emit);
            continue;
        }
        PathWarnings(platform, access, favorites, i, encoding, emit);
        AffinityWarnings(favorite.Affinity, machine, emit);
        PriorityWarnings(favorite.Priority, emit);
    }
    return warnings;
}

}  // namespace mjr::doctor
