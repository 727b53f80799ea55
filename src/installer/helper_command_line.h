#pragma once
// The package helper's command line, as the package's custom actions write it:
//   /register "<folder>\" "<ENFORCE>" [/definition <file>]   fill the task and register it
//   /start                                                    start the registered task
//   /remove "<folder>\"                                       close running copies, delete the task
#include <string>
#include <vector>

namespace mjr::installer {

enum class HelperVerb { Register, Start, Remove };

struct HelperCommand {
    HelperVerb verb = HelperVerb::Start;
    std::wstring installDir;
    std::wstring enforce;
    std::wstring definitionFile;  // where /register also writes the filled definition
};

struct ParsedHelperCommand {
    bool ok = false;
    HelperCommand command;
    std::wstring error;
};

// args: the arguments after the program's name. Verbs and options in any letter case;
// anything more or less than a verb's arguments is refused.
ParsedHelperCommand ParseHelperCommandLine(const std::vector<std::wstring>& args);

}  // namespace mjr::installer
