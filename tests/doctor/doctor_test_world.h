// The world the doctor's tests run it in: a machine whose programs, drives, links, junctions
// and permissions the cases name, and a report kept line by line to search.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "doctor/doctor.h"
#include "platform/fake_platform.h"
#include "privilege/descriptor_rights.h"

namespace mjr::doctor {

inline constexpr wchar_t kProfile[] = L"C:\\Apps\\Marrowbine\\My Favs 1";

struct Output : ReportWriter {
    std::vector<std::wstring> lines, errors;
    void Line(std::wstring_view text) override { lines.emplace_back(text); }
    void ErrorLine(std::wstring_view text) override { errors.emplace_back(text); }
    bool Has(std::wstring_view part) const {
        for (const auto& line : lines)
            if (line.find(part) != std::wstring::npos) return true;
        return false;
    }
    std::vector<std::wstring> Warnings() const {
        std::vector<std::wstring> found;
        for (const auto& line : lines)
            if (line.rfind(L"line ", 0) == 0) found.push_back(line);
        return found;
    }
    std::string All() const {
        std::string all;
        for (const auto& line : lines) all += std::string(line.begin(), line.end()) + "\n";
        return all;
    }
};

struct Doctor {
    testing::FakePlatform fake;
    Output out;
    CheckerBuild build;
    Doctor() {
        fake.AddProcess(0, "");
        fake.AddProcess(4, "C:\\Apps\\Tool.exe");  // listed second: never scanned
        fake.programFiles = {{L"C:\\Apps\\Tool.exe", 0}, {L"C:\\Apps\\Big64.exe", kScs64BitBinary},
                             {L"C:\\Program Files\\Tool.exe", 0}};
        fake.longPaths[L"C:\\PROGRA~1\\Tool.exe"] = L"C:\\Program Files\\Tool.exe";
        fake.longPaths[L"C:\\Apps\\Gone.exe"] = std::nullopt;
        // S: is a subst of C:\Apps, and C:\Link a junction to C:\Apps.
        fake.programFiles[L"S:\\Tool.exe"] = 0;
        fake.finalPaths[L"S:\\Tool.exe"] = L"\\\\?\\C:\\Apps\\Tool.exe";
        fake.programFiles[L"C:\\Link\\Tool.exe"] = 0;
        // A name Windows gives in more than MAX_PATH characters: asked again with the room it says it needs.
        fake.programFiles[L"S:\\" + std::wstring(250, L'l') + L".exe"] = 0;
        fake.finalPaths[L"S:\\" + std::wstring(250, L'l') + L".exe"] = L"\\\\?\\C:\\Apps\\" + std::wstring(250, L'l') + L".exe";
        // Junctions; folders users add folders to (C:\Drop) or files to (C:\Mods\A, ...\B); F: cannot say what it is.
        fake.reparsePoints = {L"C:\\Link", L"C:\\Lib\\Link"};
        fake.directories = {L"C:\\Drop", L"C:\\Lib\\A", L"C:\\Lib\\Link\\x", L"C:\\Mods\\A\\x", L"C:\\Users\\me\\G\\A\\B\\C"};
        fake.files[L"C:\\Lib\\Aside"] = "x";  // a file users may write is no folder a pattern walks
        fake.securityDescriptors[L"C:\\Lib\\Aside"] = testing::SecurityDescriptor("S-1-5-32-544", {{{0, 0, kFileWriteData, "S-1-5-32-545"}}});
        fake.securityDescriptors[L"C:\\Drop"] = testing::SecurityDescriptor("S-1-5-32-544", {{{0, 0, kFileAppendData, "S-1-5-32-545"}}});
        for (const wchar_t* folder : {L"C:\\Mods\\A", L"C:\\Users\\me\\G\\A\\B"})
            fake.securityDescriptors[folder] = testing::SecurityDescriptor("S-1-5-32-544", {{{0, 0, kFileWriteData, "S-1-5-32-545"}}});
        fake.programFiles[L"F:\\Tool.exe"] = 0;
        fake.volumeFlags[L"F:\\"] = kInvalidFileAttributes;
        fake.programFiles[L"M:\\Tool.exe"] = 0;
        fake.finalPaths[L"M:\\Tool.exe"] = L"\\\\?\\UNC\\server\\share\\Tool.exe";
        fake.programFiles[L"\\\\?\\C:\\Apps\\Tool.exe"] = 0;
        fake.directories.insert(L"C:\\Games");
        fake.programFiles[L"C:\\Games\\Sub\\Game.exe"] = 0;
        fake.files[L"C:\\Apps\\readme.txt"] = "x";
        // N: is a network drive, Q: one Windows has no kind for, R: a removable one.
        fake.driveTypes = {{L"N:\\", kDriveRemote}, {L"Q:\\", kDriveUnknown}, {L"R:\\", kDriveRemovable}};
        // C:\Kit: a program users may write in Sub, a file's link in Links.
        for (const wchar_t* program : {L"C:\\Kit\\good.exe", L"C:\\Kit\\Sub\\open.exe", L"C:\\Kit\\Links\\lnk.exe"})
            fake.programFiles[program] = 0;
        fake.reparsePoints.insert(L"C:\\Kit\\Links\\lnk.exe");
        fake.securityDescriptors[L"C:\\Kit\\Sub\\open.exe"] = fake.securityDescriptors[L"C:\\Lib\\Aside"];
    }
    int Run(std::vector<std::wstring> args = {}) { return RunDoctor(fake, args, build, out); }
};

}  // namespace mjr::doctor
