// Whole doctor reports compared whole with the files kept in tests/doctor/reports: a line said
// twice, a line more or less, or changed advice fails here. With MJR_WRITE_REPORTS=1 the test
// writes each file from what the doctor says now, and fails, so that a rewrite is never a pass.
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>

#include <gtest/gtest.h>

#include "doctor/doctor.h"
#include "platform/fake_platform.h"

namespace mjr::doctor {
namespace {

using testing::FakeAce;
using testing::FakePlatform;
using testing::SecurityDescriptor;

constexpr char kUsers[] = "S-1-5-32-545";

struct Collected : ReportWriter {
    std::wstring text;
    void Line(std::wstring_view line) override { text += std::wstring(line) + L"\n"; }
    void ErrorLine(std::wstring_view line) override { text += L"(error stream) " + std::wstring(line) + L"\n"; }
};

std::string FromSource(const std::string& path) {
    std::ifstream in(std::string(MJR_SOURCE_DIR) + "/" + path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

std::string Utf8(const std::wstring& text) {
    std::string out;
    for (const wchar_t wide : text) {
        const auto c = static_cast<std::uint32_t>(wide);
        if (c < 0x80) out += static_cast<char>(c);
        else if (c < 0x800) out += {static_cast<char>(0xC0 | c >> 6), static_cast<char>(0x80 | (c & 0x3F))};
        else if (c < 0x10000)
            out += {static_cast<char>(0xE0 | c >> 12), static_cast<char>(0x80 | (c >> 6 & 0x3F)), static_cast<char>(0x80 | (c & 0x3F))};
        else
            out += {static_cast<char>(0xF0 | c >> 18), static_cast<char>(0x80 | (c >> 12 & 0x3F)),
                    static_cast<char>(0x80 | (c >> 6 & 0x3F)), static_cast<char>(0x80 | (c & 0x3F))};
    }
    return out;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The lines that differ, marked as a unified diff marks them: "-" only in the kept file, "+"
// only in what the doctor says now, each with its line number there.
std::string LineDiff(const std::vector<std::string>& kept, const std::vector<std::string>& said) {
    const std::size_t n = kept.size(), m = said.size();
    std::vector<std::vector<std::size_t>> common(n + 1, std::vector<std::size_t>(m + 1));
    for (std::size_t i = n; i-- > 0;)
        for (std::size_t j = m; j-- > 0;)
            common[i][j] = kept[i] == said[j] ? common[i + 1][j + 1] + 1 : std::max(common[i + 1][j], common[i][j + 1]);
    std::string diff;
    for (std::size_t i = 0, j = 0; i < n || j < m;) {
        if (i < n && j < m && kept[i] == said[j]) {
            ++i, ++j;
        } else if (j < m && (i == n || common[i][j + 1] >= common[i + 1][j])) {
            diff += "+ " + std::to_string(j + 1) + ": " + said[j] + "\n";
            ++j;
        } else {
            diff += "- " + std::to_string(i + 1) + ": " + kept[i] + "\n";
            ++i;
        }
    }
    return diff;
}

// A home PC of four processors: programs in Program Files, a game library users may change,
// C:\ where users may add folders (as Windows leaves it), a subst drive, a share, and a few
// programs running.
void HomePc(FakePlatform& f) {
    const auto open = SecurityDescriptor("S-1-5-32-544", std::vector<FakeAce>{{0, 0x3, 0x1301BF, kUsers}});
    for (const wchar_t* program : {L"C:\\Program Files\\Tool\\tool.exe", L"C:\\Program Files\\Tool\\helper.exe",
                                   L"C:\\Games\\game.exe", L"C:\\Games\\Old\\old.exe", L"C:\\Tools\\a.exe",
                                   L"C:\\Tools\\Sub\\b.exe", L"S:\\tool.exe", L"C:\\Windows\\Tasks\\task.exe"})
        f.programFiles[program] = kScs64BitBinary;
    f.longPaths[L"C:\\PROGRA~1\\Tool\\tool.exe"] = L"C:\\Program Files\\Tool\\tool.exe";
    f.finalPaths[L"S:\\tool.exe"] = L"\\\\?\\C:\\Program Files\\Tool\\tool.exe";
    f.files[L"C:\\Program Files\\Tool\\readme.txt"] = "x";
    f.directories.insert(L"C:\\PROGRA~1\\Tool");  // the short name Windows also answers to
    f.securityDescriptors[L"C:\\Games"] = open;
    f.securityDescriptors[L"C:\\Tools\\Sub\\b.exe"] = open;
    f.securityDescriptors[L"C:\\"] = SecurityDescriptor("S-1-5-32-544", std::vector<FakeAce>{{0, 0, 0x4, kUsers}});
    f.driveTypes = {{L"N:\\", kDriveRemote}};
    // Where every Windows names its Program Files folder (%ProgramFiles%), NUL included.
    std::vector<std::uint8_t> programFiles;
    for (const wchar_t c : std::wstring(L"C:\\Program Files") + L'\0')
        programFiles.insert(programFiles.end(), {static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(c >> 8)});
    f.ChangeRegistry(L"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion", L"ProgramFilesDir", {{kRegSz, programFiles}});
    f.AddProcess(0, "");
    f.AddProcess(4, "System");
    f.AddProcess(600, "C:\\Program Files\\Tool\\tool.exe").affinity = 0xF;
    f.AddProcess(601, "C:\\Games\\game.exe").priority = 0x80;
    f.AddProcess(602, "C:\\Tools\\a.exe").grantedAccess = kProcessQueryLimitedInformation;
    f.AddProcess(603, "C:\\Program Files\\Tool\\helper.exe").imageNameFails = true;
}

// The shipped examples' programs, installed and running.
void ExamplePrograms(FakePlatform& f) {
    f.AddProcess(0, "");
    f.AddProcess(4, "System");
    Dword pid = 700;
    for (const char* name : {"Game\\game.exe", "Encoder\\encoder.exe", "Backup\\backup.exe", "Indexer\\indexer.exe",
                             "DAW\\daw.exe", "Simulator\\simulator.exe"}) {
        const std::string path = std::string("C:\\Program Files\\Example ") + name;
        f.programFiles[std::wstring(path.begin(), path.end())] = kScs64BitBinary;
        f.AddProcess(pid++, path).affinity = 0xF;
    }
}

const std::map<std::string, std::function<void(FakePlatform&)>> kWorlds = {
    {"home", HomePc},
    {"hybrid", [](FakePlatform& f) { f.UseMachine(FakePlatform::Machine::Hybrid28); ExamplePrograms(f); }},
    {"two dies", [](FakePlatform& f) { f.UseMachine(FakePlatform::Machine::TwoDie32); ExamplePrograms(f); }},
    // Windows 8.1 on a hybrid machine: no CPU sets, so no kinds of processor either.
    {"no CPU sets", [](FakePlatform& f) {
         f.UseMachine(FakePlatform::Machine::Hybrid28);
         f.cpuSetCallMissing = f.setCpuSetsCallMissing = f.getCpuSetsCallMissing = f.getProcessInformationMissing = true;
         f.powerSetError = 87;
         ExamplePrograms(f);
     }},
};

struct ReportCase {
    const char* name;     // the report kept as tests/doctor/reports/<name>.txt
    const char* profile;  // a file of the source tree, read at each run; "" for no profile
    const char* world;
    bool tryMode = false;
};

class ReportTest : public ::testing::TestWithParam<ReportCase> {};

TEST_P(ReportTest, SaysWhatTheKeptReportSays) {
    const ReportCase& c = GetParam();
    FakePlatform fake;
    kWorlds.at(c.world)(fake);
    fake.elevated = true;
    if (*c.profile) fake.files[L"C:\\Apps\\Marrowbine\\My Favs 1"] = FromSource(c.profile);
    CheckerBuild build;
    build.Is32Bit = false;
    build.Name = L"MarrowbineJrCheck64";
    Collected out;
    const int status = RunDoctor(fake, &fake, c.tryMode ? std::vector<std::wstring>{L"--try"} : std::vector<std::wstring>{},
                                 build, out);
    const std::string said = "Exit status " + std::to_string(status) + "\n" + Utf8(out.text);
    const std::string kept = "tests/doctor/reports/" + std::string(c.name) + ".txt";
    if (const char* write = std::getenv("MJR_WRITE_REPORTS"); write && std::string(write) == "1") {
        std::ofstream(std::string(MJR_SOURCE_DIR) + "/" + kept, std::ios::binary) << said;
        FAIL() << "wrote " << kept << " (MJR_WRITE_REPORTS=1): read it, then run without it";
    }
    EXPECT_TRUE(FromSource(kept) == said) << kept << " differs from what the doctor says now:\n"
                                      << LineDiff(Lines(FromSource(kept)), Lines(said));
}

INSTANTIATE_TEST_SUITE_P(Table, ReportTest, ::testing::Values(
    ReportCase{"example_my_favs_1", "examples/My Favs 1", "home"},
    ReportCase{"example_hybrid", "examples/My Favs Hybrid", "hybrid"},
    ReportCase{"example_two_dies", "examples/My Favs Two Dies", "two dies"},
    ReportCase{"example_hybrid_without_cpu_sets", "examples/My Favs Hybrid", "no CPU sets"},
    ReportCase{"no_profile", "", "home"},
    ReportCase{"failing_lines", "tests/doctor/reports/profiles/failing lines", "home"},
    ReportCase{"header_and_notes", "tests/doctor/reports/profiles/header and notes", "home"},
    ReportCase{"paths", "tests/doctor/reports/profiles/paths", "home"},
    ReportCase{"cpus", "tests/doctor/reports/profiles/cpus", "home"},
    ReportCase{"cpu_lists_and_sets", "tests/doctor/reports/profiles/cpu lists and sets", "hybrid"},
    ReportCase{"priorities", "tests/doctor/reports/profiles/priorities", "home"},
    ReportCase{"permissions_and_patterns", "tests/doctor/reports/profiles/permissions and patterns", "home"},
    ReportCase{"dry_run", "tests/doctor/reports/profiles/dry run", "home"},
    ReportCase{"utf16_blank_separated", "tests/doctor/reports/profiles/utf16 blank separated", "home"},
    ReportCase{"try_hybrid", "", "hybrid", true},
    ReportCase{"try_two_dies", "", "two dies", true},
    ReportCase{"try_no_cpu_sets", "", "no CPU sets", true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace mjr::doctor
