#include "installer/helper_command_line.h"

#include "common/text.h"

namespace mjr::installer {

std::optional<HelperVerb> ParseHelperCommandLine(const std::vector<std::wstring>& args) {
    if (args.size() != 1) return std::nullopt;
    const std::wstring& verb = args[0];
    const auto is = [&verb](std::wstring_view name) { return EqualsIgnoringAsciiCase(verb, name); };
    if (is(L"/register")) return HelperVerb::Register;
    if (is(L"/start")) return HelperVerb::Start;
    if (is(L"/remove")) return HelperVerb::Remove;
    return std::nullopt;
}

}  // namespace mjr::installer
