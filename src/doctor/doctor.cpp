#include "doctor/doctor.h"

#include <algorithm>
#include <optional>

#include "app/command_line.h"
#include "common/text.h"
#include "doctor/children_findings.h"
#include "doctor/command_line_reading.h"
#include "doctor/cpu_list_findings.h"
#include "doctor/dry_run.h"
#include "doctor/favorite_findings.h"
#include "doctor/path_name_findings.h"
#include "doctor/path_reach.h"
#include "doctor/profile_lines.h"
#include "doctor/report_text.h"
#include "doctor/try_mode.h"
#include "doctor/user_access.h"
#include "engine/affinity.h"
#include "engine/cpu_list.h"
#include "engine/cpu_sets.h"
#include "engine/image_path.h"
#include "engine/priority.h"
#include "platform/read_whole_file.h"
#include "privilege/debug_privilege.h"
#include "privilege/token_rights.h"
#include "profile/field_reader.h"
#include "profile/load_favorites.h"
#include "profile/profile_text.h"

namespace mjr::doctor {
namespace {

struct Request {
    enum Kind { Check, List, Help, Usage, Try } kind = Check;
    bool byFile = false;
    std::wstring file;
    std::wstring profileName;  // the name MarrowbineJr.exe would read
    bool nameGiven = false;
    bool programForm = false;     // the program's own argument text, read as the program reads it
    std::wstring argumentText;
    std::wstring problem;
};

Request UsageError(std::wstring problem) {
    Request request;
    request.kind = Request::Usage;
    request.problem = std::move(problem);
    return request;
}

Request ParseArguments(Platform& platform, const std::vector<std::wstring>& arguments) {
    Request request;
    std::wstring words;
    bool options = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::wstring& argument = arguments[i];
        if (argument == L"--help" || argument == L"-h" || argument == L"/?") {
            request.kind = Request::Help;
            return request;
        }
        if (argument.rfind(L"--", 0) == 0) options = true;
        if (argument == L"--list") {
            request.kind = Request::List;
            continue;
        }
        if (argument == L"--try" && arguments.size() == 1) {
            request.kind = Request::Try;
            request.problem = L"--try needs the Windows program";
            return request;
        }
        if (argument == L"--try") return UsageError(L"--try takes nothing else");
        if (argument == L"--file" || argument.rfind(L"--file=", 0) == 0) {
            if (request.byFile) return UsageError(L"--file is given twice");
            if (argument == L"--file" && i + 1 < arguments.size()) request.file = arguments[++i];
            else if (argument != L"--file") request.file = argument.substr(7);
            if (request.file.empty()) return UsageError(L"--file needs a path");
            request.byFile = true;
            continue;
        }
        if (argument.size() > 1 && argument[0] == L'-') return UsageError(L"unknown option " + Quoted(argument));
        if (!words.empty()) words += L' ';
        words += argument;
    }
    if (request.byFile && !TrimSpaces(words).empty())
        return UsageError(L"give a profile name or --file PATH, not both");
    if (request.kind == Request::List && (request.byFile || !TrimSpaces(words).empty()))
        return UsageError(L"--list reads no profile");
    if (words.find(L'/') != std::wstring::npos && !options) {
        // The program's own argument text, raw as the program reads it (quotes and all), so
        // both take the same name from it.
        RunSettings settings;
        request.programForm = true;
        request.argumentText = platform.CommandLineArgs();
        ParseCommandLine(request.argumentText, settings);
        request.profileName = settings.ProfileName;
    } else {
        request.profileName = std::wstring(TrimSpaces(words));
        request.nameGiven = !request.profileName.empty();
    }
    if (request.profileName.empty()) request.profileName = kDefaultProfileName;
    return request;
}

void Usage(const CheckerBuild& build, ReportWriter& out) {
    const std::wstring& name = build.Name;
    const std::wstring program = build.Is32Bit ? L"MarrowbineJr.exe" : L"MarrowbineJr64.exe";
    out.Line(L"Usage: " + name + L" [PROFILE-NAME]  checks the profile " + program +
             L" in this folder reads for that name (default \"My Favs 1\")");
    out.Line(L"       " + name + L" --file PATH     checks the profile file at PATH");
    out.Line(L"       " + name + L" --list          prints a ready profile line for each running program: "
             L"its processors, Default, its path as the program sees it, and as a note which process started it");
    out.Line(L"       " + name + L" --try           tries each kind of placement on a program of Windows' own, "
             L"suspended so that it never runs, and reads it back: what this PC lets the program do");
    out.Line(L"       " + name + L" --help          shows this text");
    out.Line(L"It reads the profile as the program does, warns about favourites that will not do what they seem "
             L"to say, and tells what one scan would do to the running processes; it changes nothing.");
    out.Line(L"A favourite is a name, CPUs, a priority and a program's path, separated by tabs. These load too: blanks "
             L"for the tabs of a line without any tab, a path in double quotes, a note after the program's name "
             L"(game.exe  # main), a path that begins with %LOCALAPPDATA%\\, %APPDATA%\\, %USERPROFILE%\\ (the folders "
             L"of the user the program runs as), %ProgramFiles%\\, %ProgramFiles(x86)%\\, %ProgramW6432%\\, "
             L"%SystemDrive%\\, %SystemRoot%\\, %windir%\\, %ProgramData%\\ or %PUBLIC%\\ (values from Windows, never "
             L"from the environment). These only get a hint: a comma outside double quotes, forward slashes, any other "
             L"%NAME%, a blank at a field's end, a shortcut (.lnk).");
    out.Line(L"A favourite whose fifth field reads \"children\" gives what its program starts the same placement, "
             L"High at most; the dry run shows each such process with the chain that started it.");
    out.Line(L"While the program runs, the first button of its window (tooltip \"Reset Counts\") also reads the "
             L"profile again, and so does " + program + L" /reset, run as administrator, in every running copy.");
    out.Line(L"Exit status: 0 the profile loads, 1 it loads nothing, 2 a usage error.");
    out.Line(L"With --try: 0 every set works, 1 one this Windows has was refused.");
}

std::wstring WhyUnreadable(Platform& platform, const std::wstring& path, Dword error) {
    // Asking a pipe for its attributes would connect to its server again.
    if (error == kErrorBadFileType) return L"it is not a file on a disk (a pipe or a device), so nothing was read from it";
    const Dword attributes = ReachOf(platform, path).MayTouch() ? platform.GetFileAttributesW(path) : kInvalidFileAttributes;
    if (attributes != kInvalidFileAttributes && (attributes & kFileAttributeDirectory))
        return L"it is a folder, not a file";
    switch (error) {
        case kErrorFileNotFound:
        case kErrorPathNotFound: return L"it does not exist";
        case kErrorSharingViolation:
        case kErrorLockViolation: return L"another program holds it locked";
        case kErrorAccessDenied: return L"access to it is denied";
        case kErrorFileTooLarge: return L"it is far too large to be a profile";
        case kErrorInvalidName:
            return L"its name holds a character Windows allows in no file name (\\ / : * ? \" < > |)";
        case kErrorFilenameTooLong: return L"its name is too long for Windows";
        case kErrorNotReady: return L"its drive is not ready (no disc or card in it)";
        case kErrorBadNetPath:
        case kErrorBadNetName: return L"its network share cannot be reached";
        default: return L"Windows error " + std::to_wstring(error);
    }
}

template <typename CharT>
constexpr CharT kBlanks[] = {CharT(' '), CharT('\t'), CharT(0)};

std::wstring AtLine(const LineIndex& lines, std::size_t offset) { return L"line " + std::to_wstring(lines.LineOf(offset)); }

// What to write instead of a comma that cuts a line: in the CPUs, digits or a list; in a path
// in double quotes, the whole line in them instead; elsewhere, the whole line in them.
template <typename CharT, typename ToWide>
std::wstring CommaAdvice(std::basic_string_view<CharT> text, std::size_t comma, const ToWide& toWide) {
    constexpr CharT lineEnds[] = {CharT('\r'), CharT('\n'), CharT(0)};
    const std::size_t lineStart = comma == 0 ? 0 : text.find_last_of(lineEnds, comma - 1) + 1;  // npos + 1 is 0
    const std::basic_string_view<CharT> line = text.substr(lineStart, text.find_first_of(lineEnds, comma) - lineStart);
    std::vector<std::basic_string_view<CharT>> fields;  // at the line's tabs, the comma's own among them
    for (std::size_t at = 0;;) {
        const std::size_t tab = line.find(CharT('\t'), at);
        fields.push_back(line.substr(at, tab == line.npos ? line.npos : tab - at));
        if (tab == line.npos) break;
        at = tab + 1;
    }
    const auto field = static_cast<std::size_t>(std::count(line.begin(), line.begin() + (comma - lineStart), CharT('\t')));
    if (field == 1) {
        const std::wstring cpus = toWide(fields[1]);
        std::wstring digits, list;
        for (wchar_t c : cpus) {
            if (c == L' ') continue;
            if (c != L',') digits += c;
            list += c == L',' ? L';' : c;
        }
        const bool allDigits = !digits.empty() && digits.find_first_not_of(L"0123456789") == std::wstring::npos;
        return L", inside the CPUs " + Quoted(cpus) + L": write " + (allDigits ? Quoted(digits) + L" or " : L"") +
               Quoted(list);
    }
    if (field == 3 && !fields[3].empty() && fields[3].front() == CharT('"'))
        return L", inside the path in double quotes: put the whole line in double quotes instead, and leave out the "
               L"path's own";
    return L"; enclose the whole line in double quotes";
}

// Why the record at `start` is no favourite; `toWide` shows a record as text.
template <typename CharT, typename ToWide>
std::wstring WhyTooFewFields(std::basic_string_view<CharT> text, std::size_t start, const LineIndex& lines,
                             const ToWide& toWide) {
    // The failing record again, read by the same reader from where it starts.
    BasicDelimitedFieldReader<CharT> reader(text.substr(start));
    const std::basic_string<CharT> record = reader.ReadRecord().value_or(std::basic_string<CharT>());
    const std::size_t next = start + reader.Offset();
    const bool quoted = start < text.size() && text[start] == CharT('"');
    std::optional<std::size_t> comma;
    if (start > 0 && text[start - 1] == CharT(',')) comma = start - 1;
    else if (!quoted && next > start && text[next - 1] == CharT(',')) comma = next - 1;
    if (comma)
        return AtLine(lines, *comma) + L": a comma outside double quotes cuts the line at column " +
               std::to_wstring(lines.ColumnOf(text, *comma)) + CommaAdvice(text, *comma, toWide);
    const auto fields = static_cast<std::size_t>(std::count(record.begin(), record.end(), CharT('\t'))) + 1;
    std::wstring reason = AtLine(lines, start) + L" has " + Counted(fields, L"field", L"fields") +
                          L" where a favourite needs four, separated by three tabs";
    if (fields == 1 && record.find(CharT(' ')) != std::basic_string<CharT>::npos)
        reason += L"; a line without tabs loads only when it reads, with blanks between them, as a name, CPUs the "
                  L"program reads, a priority word and a full path (C:\\..., \\\\server\\... or %NAME%\\...)";
    return reason;
}

template <typename CharT, typename ToWide>
std::wstring WhyNothingLoads(std::basic_string_view<CharT> text, const LoadTrace& trace, const LineIndex& lines,
                             const ToWide& toWide) {
    switch (trace.Failure) {
        case LoadFailure::EmptyFile: return L"the file is empty";
        case LoadFailure::HeaderOnly: return L"the file holds its header (line 1) and no favourite";
        case LoadFailure::TooFewFields: return WhyTooFewFields(text, trace.FailingRecordStart, lines, toWide);
        case LoadFailure::TooManyFavorites:
            return AtLine(lines, trace.FailingRecordStart) + L" holds favourite 32768, and a profile holds at most 32767";
        case LoadFailure::OutOfMemory:
        case LoadFailure::None: break;
    }
    return L"out of memory while reading it";
}

// A first record of four fields or more whose field 3 holds a backslash: a favourite where
// the header belongs, which the program reads as the header and never applies.
template <typename CharT>
bool HeaderLooksLikeFavorite(std::basic_string_view<CharT> text) {
    BasicDelimitedFieldReader<CharT> reader(text);
    const auto header = reader.ReadRecord();
    if (!header) return false;
    std::size_t start = 0;
    for (int tab = 0; tab < 3; ++tab) {
        start = header->find(CharT('\t'), start);
        if (start == std::basic_string<CharT>::npos) return false;
        ++start;
    }
    const std::size_t end = header->find(CharT('\t'), start);
    return header->substr(start, end == std::basic_string<CharT>::npos ? end : end - start).find(CharT('\\')) !=
           std::basic_string<CharT>::npos;
}

constexpr wchar_t kHeaderAdvice[] =
    L"line 1 looks like a favourite (three tabs and a path), but the first line is the header, which the program "
    L"never reads: put a header line (any text without tabs, commas or double quotes) above it";

// What the loader read: its verdict's reason (empty when favourites load) and whether the
// header is a favourite in disguise, worked out on the text in the encoding the loader used.
struct Reading {
    std::wstring whyNothing;
    std::vector<std::wstring> moreFailingLines;  // after the first, each line named once
    bool headerLooksLikeFavorite = false;
    std::vector<std::size_t> favoriteLines;
    std::vector<std::wstring> noteLikeFavorites;  // warnings
};

template <typename CharT, typename ToWide>
Reading Explain(std::basic_string_view<CharT> text, bool loaded, const LoadTrace& trace, const ToWide& toWide) {
    Reading reading;
    const LineIndex lines(text);
    if (!loaded) reading.whyNothing = WhyNothingLoads(text, trace, lines, toWide);
    std::size_t namedLine = lines.LineOf(trace.FailingRecordStart);
    for (std::size_t start : trace.FailingRecordStarts) {
        if (lines.LineOf(start) == namedLine) continue;  // a comma cut this line already named
        namedLine = lines.LineOf(start);
        reading.moreFailingLines.push_back(WhyTooFewFields(text, start, lines, toWide));
    }
    reading.headerLooksLikeFavorite = HeaderLooksLikeFavorite(text);
    for (std::size_t start : trace.FavoriteStarts) {
        reading.favoriteLines.push_back(lines.LineOf(start));
        // A favourite never starts the text: the header comes first.
        const bool lineStart = text[start - 1] == CharT('\r') || text[start - 1] == CharT('\n');
        const std::size_t first = text.find_first_not_of(kBlanks<CharT>, start);
        if (lineStart && first != text.npos && (text[first] == CharT('#') || text[first] == CharT(';')))
            reading.noteLikeFavorites.push_back(
                AtLine(lines, start) + L" begins with \"" + static_cast<wchar_t>(text[first]) +
                L"\" as a note does, but holds three tabs: it is a favourite and still applies");
    }
    return reading;
}

// The profile name as the program builds the file's name from it: a name that holds a
// folder is not what its writer meant.
void NameNotes(const Request& request, ReportWriter& out) {
    const std::wstring& name = request.profileName;
    if (request.byFile) return;
    if (name.find(L'\\') != std::wstring::npos || (name.size() >= 2 && name[1] == L':'))
        out.Line(L"Note: " + Quoted(name) + L" is a path, but the program reads its profile only from its own folder "
                 L"and takes the whole text as a file name there; to check a profile elsewhere, use --file " +
                 Quoted(name) + L".");
}

// Notepad adds ".txt" to a new file and Explorer hides it.
std::wstring MissingFileAdvice(Platform& platform, const std::wstring& path, Dword error) {
    const std::wstring withTxt = path + L".txt";
    if (error != kErrorFileNotFound || !ReachOf(platform, withTxt).MayTouch()) return {};
    const Dword attributes = platform.GetFileAttributesW(withTxt);
    if (attributes == kInvalidFileAttributes || (attributes & kFileAttributeDirectory)) return {};
    const std::size_t slash = path.find_last_of(L'\\');
    const std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    return L"; " + Quoted(name + L".txt") + L" is there (Notepad adds .txt, and Explorer hides it): rename it to " +
           Quoted(name);
}

// Whoever can change the profile, or the folder the program runs from, decides what an
// elevated copy does.
void OwnFileWarnings(Platform& platform, UserAccessCheck& access, const std::wstring& profile, const CheckerBuild& build,
                     std::vector<std::wstring>& warnings) {
    std::wstring saidOf;
    const auto check = [&](const std::wstring& path, ObjectKind kind, const wchar_t* what, const wchar_t* meaning) {
        const PathReach reach = ReachOf(platform, path);
        if (reach.reach == Reach::Network) {
            warnings.push_back(what + Quoted(path) + L" is on a share or a network drive: who can change it cannot be "
                               L"checked, and whoever can write there decides what the elevated program does");
            return;
        }
        if (!reach.MayTouch()) return;
        const UserAccessCheck::Finding found = access.FirstOpen(path, kind);
        if (found.what == UserAccessCheck::Finding::Closed || found.path == saidOf) return;
        saidOf = found.path;
        warnings.push_back(what + Quoted(path) + L": " + UserAccessCheck::Describe(found) + L": " +
                           (found.what == UserAccessCheck::Finding::Unreadable ? L"who can change it cannot be checked"
                                                                               : meaning));
    };
    check(profile, ObjectKind::File, L"the profile ",
          L"any user can rewrite it, and so choose which programs the elevated program raises, and how far");
    check(platform.ProgramDirectory(), ObjectKind::Folder, L"the program's folder ",
          L"any user can replace Marrowbine Jr there and act with the rights of whoever starts it elevated");
    // A program file moved in from elsewhere keeps its own permissions.
    for (const std::wstring& name : {std::wstring(build.Is32Bit ? L"MarrowbineJr.exe" : L"MarrowbineJr64.exe"),
                                     build.Name + L".exe", std::wstring(L"Marrowbine64.exe")})
        check(ProfilePath(platform, name), ObjectKind::File, L"the program file ",
              L"any user can replace it and act with the rights of whoever starts it elevated");
}

Machine LookAtMachine(Platform& platform, const CheckerBuild& build) {
    Machine machine;
    machine.Cpu.CpuBits = BuildCpuBits();
    machine.Cpu.Topology = ReadCpuTopology(platform);
    machine.Processors = machine.Cpu.Topology.Processors;
    machine.Cpu.MaxCpuIndex = MaxCpuIndexFor(machine.Processors);
    machine.WindowsDirPrefix = GetWindowsDirPrefix(platform);
    machine.Checker32Bit = build.Is32Bit;
    return machine;
}

int Check(Platform& platform, const Request& request, const CheckerBuild& build, ReportWriter& out, int& status) {
    const std::wstring path =
        request.byFile ? platform.GetFullPathNameW(request.file) : ProfilePath(platform, request.profileName);
    if (request.programForm)
        for (const std::wstring& line : CommandLineReading(request.argumentText)) out.Line(line);
    out.Line(L"Profile: " + Shown(path));
    if (request.nameGiven && !ContainsIgnoreCase(request.profileName, L"my fav"))
        out.Line(L"Note: the program takes a profile name from its command line only when the name holds \"my fav\"; "
                 L"it never reads " + Quoted(request.profileName) + L".");
    NameNotes(request, out);
    const std::optional<std::string> bytes = ReadWholeFile(platform, path);
    const std::wstring nothing = L"The program would show the trouble picture and correct nothing.";
    if (!bytes) {
        const Dword error = platform.GetLastError();
        out.Line(L"Verdict: no favourite loads: the file cannot be read: " + WhyUnreadable(platform, path, error) +
                 MissingFileAdvice(platform, path, error) + L".");
        out.Line(nothing);
        return kExitLoadsNothing;
    }
    FavoritesTable favorites;
    LoadTrace trace;
    const PathNames names = ReadPathNames(platform);
    const bool loaded = ReadFavoritesTraced(platform, names, *bytes, favorites, trace);
    out.Line(L"Encoding: " + std::wstring(EncodingName(trace.Encoding)) + L".");
    const ProfileText text = DecodeProfile(*bytes);
    const Reading reading =
        text.Encoding == ProfileEncoding::Ansi
            ? Explain<char>(*bytes, loaded, trace, [&](std::string_view record) { return platform.AnsiToWide(record); })
            : Explain<wchar_t>(text.Wide, loaded, trace, [](std::wstring_view record) { return std::wstring(record); });
    if (trace.PassedOverLines > 0)
        out.Line(L"Passed over: " + Counted(trace.PassedOverLines, L"blank or note line", L"blank and note lines") +
                 L" (empty, only blanks, or beginning with # or ;).");
    if (!loaded) {
        std::wstring verdict = L"Verdict: no favourite loads: " + reading.whyNothing;
        if (reading.headerLooksLikeFavorite) verdict += L"; " + std::wstring(kHeaderAdvice);
        out.Line(verdict + L".");
        for (const std::wstring& line : reading.moreFailingLines) out.Line(L"Also: " + line + L".");
        if (trace.FailingRecords > kMaxNamedFailures)
            out.Line(L"Also: " + Counted(trace.FailingRecords - kMaxNamedFailures, L"more record", L"more records") +
                     L" of too few fields after these.");
        out.Line(nothing);
        return kExitLoadsNothing;
    }
    status = kExitLoads;
    const auto count = static_cast<std::size_t>(favorites.Count());
    out.Line(L"Verdict: " + std::to_wstring(count) + (count == 1 ? L" favourite loads." : L" favourites load."));
    for (std::size_t index : trace.BlankSeparatedFavorites) {
        const FavoriteRecord& favorite = favorites.Records()[index];
        out.Line(L"Note: line " + std::to_wstring(reading.favoriteLines[index]) + L" has no tabs; it was read with "
                 L"blanks where tabs belong: CPUs " + Quoted(favorite.Affinity) + L", priority " +
                 Quoted(favorite.Priority) + L", Path " + Quoted(favorite.Path) + L".");
    }
    const PathNameFindings named = ExplainPathNames(platform, *bytes, names, reading.favoriteLines);
    for (const std::wstring& line : named.notes) out.Line(line);

    Machine machine = LookAtMachine(platform, build);
    machine.CheckerElevated = ProcessIsElevated(platform);
    out.Line(MachineLine(machine));
    out.Line(CpuSetNumberingLine(machine));
    for (const std::wstring& line : ListExplanations(favorites, reading.favoriteLines, machine)) out.Line(line);
    for (const std::wstring& line : PowerExplanations(favorites, reading.favoriteLines)) out.Line(line);
    for (const std::wstring& line : ChildrenExplanations(favorites, reading.favoriteLines)) out.Line(line);
    std::vector<std::wstring> warnings;
    if (reading.headerLooksLikeFavorite) warnings.push_back(kHeaderAdvice);
    warnings.insert(warnings.end(), reading.noteLikeFavorites.begin(), reading.noteLikeFavorites.end());
    warnings.insert(warnings.end(), named.warnings.begin(), named.warnings.end());
    UserAccessCheck access(platform);
    for (std::wstring& warning :
         FavoriteWarnings(platform, access, favorites, reading.favoriteLines, machine, trace.Encoding))
        warnings.push_back(std::move(warning));
    for (std::wstring& warning : ChildrenWarnings(favorites, reading.favoriteLines)) warnings.push_back(std::move(warning));
    OwnFileWarnings(platform, access, path, build, warnings);
    // A line that starts with a blank goes on from the warning before it.
    const auto said = std::count_if(warnings.begin(), warnings.end(), [](const std::wstring& w) { return w[0] != L' '; });
    out.Line(said == 0 ? std::wstring(L"Warnings: none.") : L"Warnings: " + std::to_wstring(said) + L".");
    for (const std::wstring& warning : warnings) out.Line(warning);

    // As the program does: with the debug privilege an elevated check reaches what the
    // elevated program reaches.
    SetDebugPrivilege(platform, true);
    out.Line(L"Dry run: what one scan would do now (nothing is changed; a process a scan would change is "
             L"only opened for setting and closed at once):");
    for (const std::wstring& line : DryRun(platform, favorites, reading.favoriteLines, machine)) out.Line(line);
    return kExitLoads;
}

}  // namespace

int RunDoctor(Platform& platform, const std::vector<std::wstring>& arguments, const CheckerBuild& build,
              ReportWriter& out) noexcept {
    return RunDoctor(platform, nullptr, arguments, build, out);
}

int RunDoctor(Platform& platform, TryPlatform* trial, const std::vector<std::wstring>& arguments,
              const CheckerBuild& build, ReportWriter& out) noexcept {
    int status = kExitLoadsNothing;
    try {
        const Request request = ParseArguments(platform, arguments);
        if (request.kind == Request::Try && trial) {
            status = kExitTryRefused;
            return RunTry(platform, *trial, build, out);
        }
        if (request.kind == Request::Help) {
            Usage(build, out);
            return kExitLoads;
        }
        if (request.kind == Request::Usage || request.kind == Request::Try) {
            out.Line(build.Name + L": " + request.problem + L".");
            Usage(build, out);
            return kExitUsage;
        }
        if (request.kind == Request::List) {
            // As the program does, so the list holds what the elevated program sees.
            SetDebugPrivilege(platform, true);
            std::vector<std::wstring> leftOut;
            for (const std::wstring& line :
                 RunningProgramsAsProfileLines(platform, ReadPathNames(platform), LookAtMachine(platform, build),
                                               build.Name, leftOut))
                out.Line(line);
            for (const std::wstring& line : leftOut) out.ErrorLine(line);
            return kExitLoads;
        }
        return Check(platform, request, build, out, status);
    } catch (...) {
        try {
            out.Line(L"The check stopped: out of memory.");
        } catch (...) {
        }
    }
    return status;
}

}  // namespace mjr::doctor
