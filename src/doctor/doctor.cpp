#include "doctor/doctor.h"

#include <algorithm>
#include <optional>

#include "app/command_line.h"
#include "common/text.h"
#include "doctor/cpu_list_findings.h"
#include "doctor/dry_run.h"
#include "doctor/favorite_findings.h"
#include "doctor/report_text.h"
#include "engine/image_path.h"
#include "platform/read_whole_file.h"
#include "privilege/debug_privilege.h"
#include "profile/field_reader.h"
#include "profile/load_favorites.h"

namespace mjr::doctor {
namespace {

struct Request {
    enum Kind { Check, Help, Usage } kind = Check;
    bool byFile = false;
    std::wstring file;
    std::wstring profileName;  // the name MarrowbineJr.exe would read
    bool nameGiven = false;
    std::wstring problem;
};

Request UsageError(std::wstring problem) {
    Request request;
    request.kind = Request::Usage;
    request.problem = std::move(problem);
    return request;
}

Request ParseArguments(const std::vector<std::wstring>& arguments) {
    Request request;
    std::wstring words;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::wstring& argument = arguments[i];
        if (argument == L"--help" || argument == L"-h" || argument == L"/?") {
            request.kind = Request::Help;
            return request;
        }
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
    if (words.find(L'/') != std::wstring::npos) {
        // The program's own argument text: the name is what the program would take from it.
        RunSettings settings;
        ParseCommandLine(words, settings);
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
    out.Line(L"       " + name + L" --help          shows this text");
    out.Line(L"It reads the profile as the program does, warns about favourites that will not do what they seem "
             L"to say, and tells what one scan would do to the running processes; it changes nothing.");
    out.Line(L"Exit status: 0 the profile loads, 1 it loads nothing, 2 a usage error.");
}

std::wstring WhyUnreadable(Platform& platform, const std::wstring& path, Dword error) {
    // Asking a pipe for its attributes would connect to its server again.
    if (error == kErrorBadFileType) return L"it is not a file on a disk (a pipe or a device), so nothing was read from it";
    const Dword attributes = platform.GetFileAttributesW(path);
    if (attributes != kInvalidFileAttributes && (attributes & kFileAttributeDirectory))
        return L"it is a folder, not a file";
    switch (error) {
        case kErrorFileNotFound:
        case kErrorPathNotFound: return L"it does not exist";
        case kErrorSharingViolation:
        case kErrorLockViolation: return L"another program holds it locked";
        case kErrorAccessDenied: return L"access to it is denied";
        case kErrorFileTooLarge: return L"it is far too large to be a profile";
        default: return L"Windows error " + std::to_wstring(error);
    }
}

std::wstring AtLine(const LineIndex& lines, std::size_t offset) { return L"line " + std::to_wstring(lines.LineOf(offset)); }

std::wstring WhyTooFewFields(std::string_view bytes, const LoadTrace& trace, const LineIndex& lines) {
    const std::size_t start = trace.FailingRecordStart;
    const std::size_t next = trace.FailingRecordNext;
    const bool quoted = start < bytes.size() && bytes[start] == '"';
    std::optional<std::size_t> comma;
    if (start > 0 && bytes[start - 1] == ',') comma = start - 1;
    else if (!quoted && next > start && bytes[next - 1] == ',') comma = next - 1;
    if (comma)
        return AtLine(lines, *comma) + L": a comma outside double quotes cuts the line at column " +
               std::to_wstring(lines.ColumnOf(*comma)) + L"; enclose the whole line in double quotes";
    // The failing record again, read by the same reader from where it starts.
    DelimitedFieldReader reader(bytes.substr(start));
    const std::string record = reader.ReadRecord().value_or(std::string());
    if (record.empty())
        return next >= bytes.size() ? AtLine(lines, start) + L": the file ends with an empty line; delete it"
                                    : AtLine(lines, start) + L" is empty; delete it";
    const auto fields = static_cast<std::size_t>(std::count(record.begin(), record.end(), '\t')) + 1;
    std::wstring reason = AtLine(lines, start) + L" has " + std::to_wstring(fields) +
                          (fields == 1 ? L" field" : L" fields") + L" where a favourite needs four, separated by three tabs";
    if (fields == 1 && record.find(' ') != std::string::npos) reason += L" (blanks do not separate fields)";
    return reason;
}

std::wstring WhyNothingLoads(std::string_view bytes, const LoadTrace& trace, const LineIndex& lines) {
    switch (trace.Failure) {
        case LoadFailure::EmptyFile: return L"the file is empty";
        case LoadFailure::HeaderOnly: return L"the file holds its header (line 1) and no favourite";
        case LoadFailure::TooFewFields: return WhyTooFewFields(bytes, trace, lines);
        case LoadFailure::TooManyFavorites:
            return AtLine(lines, trace.FailingRecordStart) + L" holds favourite 32768, and a profile holds at most 32767";
        case LoadFailure::OutOfMemory:
        case LoadFailure::None: break;
    }
    return L"out of memory while reading it";
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
    out.Line(L"Profile: " + Shown(path));
    if (request.nameGiven && !ContainsIgnoreCase(request.profileName, L"my fav"))
        out.Line(L"Note: the program takes a profile name from its command line only when the name holds \"my fav\"; "
                 L"it never reads " + Quoted(request.profileName) + L".");
    const std::optional<std::string> bytes = ReadWholeFile(platform, path);
    const std::wstring nothing = L"The program would show the trouble picture and correct nothing.";
    if (!bytes) {
        const Dword error = platform.GetLastError();
        out.Line(L"Verdict: no favourite loads: the file cannot be read: " + WhyUnreadable(platform, path, error) + L".");
        out.Line(nothing);
        return kExitLoadsNothing;
    }
    FavoritesTable favorites;
    LoadTrace trace;
    const LineIndex lines(*bytes);
    if (!ReadFavoritesTraced(platform, *bytes, favorites, trace)) {
        out.Line(L"Verdict: no favourite loads: " + WhyNothingLoads(*bytes, trace, lines) + L".");
        out.Line(nothing);
        return kExitLoadsNothing;
    }
    status = kExitLoads;
    const auto count = static_cast<std::size_t>(favorites.Count());
    out.Line(L"Verdict: " + std::to_wstring(count) + (count == 1 ? L" favourite loads." : L" favourites load."));

    const Machine machine = LookAtMachine(platform, build);
    out.Line(MachineLine(machine));
    std::vector<std::size_t> favoriteLines;
    favoriteLines.reserve(trace.FavoriteStarts.size());
    for (std::size_t start : trace.FavoriteStarts) favoriteLines.push_back(lines.LineOf(start));
    for (const std::wstring& line : ListExplanations(favorites, favoriteLines, machine)) out.Line(line);
    const std::vector<std::wstring> warnings = FavoriteWarnings(platform, favorites, favoriteLines, machine);
    out.Line(warnings.empty() ? std::wstring(L"Warnings: none.") : L"Warnings: " + std::to_wstring(warnings.size()) + L".");
    for (const std::wstring& warning : warnings) out.Line(warning);

    // As the program does: with the debug privilege an elevated check reaches what the
    // elevated program reaches.
    SetDebugPrivilege(platform, true);
    out.Line(L"Dry run: what one scan would do now (nothing is changed; a process a scan would change is "
             L"only opened for setting and closed at once):");
    for (const std::wstring& line : DryRun(platform, favorites, favoriteLines, machine)) out.Line(line);
    return kExitLoads;
}

}  // namespace

int RunDoctor(Platform& platform, const std::vector<std::wstring>& arguments, const CheckerBuild& build,
              ReportWriter& out) noexcept {
    int status = kExitLoadsNothing;
    try {
        const Request request = ParseArguments(arguments);
        if (request.kind == Request::Help) {
            Usage(build, out);
            return kExitLoads;
        }
        if (request.kind == Request::Usage) {
            out.Line(build.Name + L": " + request.problem + L".");
            Usage(build, out);
            return kExitUsage;
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
