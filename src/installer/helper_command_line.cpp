#include "installer/helper_command_line.h"

#include "common/text.h"

namespace mjr::installer {

namespace {

bool Is(const std::wstring& arg, std::wstring_view name) {
    return arg.size() == name.size() && ContainsIgnoreCase(arg, name);
}

ParsedHelperCommand Refuse(std::wstring why) {
    ParsedHelperCommand parsed;
    parsed.error = std::move(why);
    return parsed;
}

}  // namespace

ParsedHelperCommand ParseHelperCommandLine(const std::vector<std::wstring>& args) {
    const auto usage = L"usage: /register <folder> <enforce> [/definition <file>] | /start | /remove <folder>";
    if (args.empty()) return Refuse(usage);
    ParsedHelperCommand parsed;
    HelperCommand& command = parsed.command;
    const std::wstring& verb = args[0];
    if (Is(verb, L"/register") && (args.size() == 3 || (args.size() == 5 && Is(args[3], L"/definition")))) {
        command.verb = HelperVerb::Register;
        command.installDir = args[1];
        command.enforce = args[2];
        if (args.size() == 5) command.definitionFile = args[4];
    } else if (Is(verb, L"/start") && args.size() == 1) {
        command.verb = HelperVerb::Start;
    } else if (Is(verb, L"/remove") && args.size() == 2) {
        command.verb = HelperVerb::Remove;
        command.installDir = args[1];
    } else {
        return Refuse(usage);
    }
    if (command.verb != HelperVerb::Start && command.installDir.empty()) return Refuse(L"no install folder given");
    parsed.ok = true;
    return parsed;
}

}  // namespace mjr::installer
