#pragma once
// How the program reads a command line, told in words.
#include <string>
#include <string_view>
#include <vector>

namespace mjr::doctor {

// One statement of the mode, the profile name and the enforce period as the status window
// shows it, then a statement for each piece that does nothing or less than it seems to say.
std::vector<std::wstring> CommandLineReading(std::wstring_view argumentText);

}  // namespace mjr::doctor
