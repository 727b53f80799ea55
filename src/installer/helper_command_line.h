#pragma once
// The package helper's command line, as the package's custom actions write it: one verb and
// nothing else. The helper runs as SYSTEM, so it takes no value from its command line: the
// install folder is its own, and ENFORCE is read from the key the package writes.
//   /register   check the install folder, fill the task from HKLM and register it
//   /start      start the registered task
//   /remove     close running copies, delete the task
#include <optional>
#include <string>
#include <vector>

namespace mjr::installer {

enum class HelperVerb { Register, Start, Remove };

// The helper's own refusals, as the installer's verbose log shows them (Windows' error
// numbers of the same meaning, so `net helpmsg` explains them); any other failure is the
// failed call's own error code or HRESULT.
inline constexpr int kExitBadCommandLine = 160;      // ERROR_BAD_ARGUMENTS
inline constexpr int kExitBadEnforce = 13;           // ERROR_INVALID_DATA
inline constexpr int kExitBadInstallDir = 161;       // ERROR_BAD_PATHNAME
inline constexpr int kExitTaskOpenToOthers = 1338;   // ERROR_INVALID_SECURITY_DESCR
inline constexpr int kExitFolderOpenToUsers = 1338;  // ERROR_INVALID_SECURITY_DESCR, of a file or folder
inline constexpr int kExitLinkOnTheWay = 4395;       // ERROR_REPARSE_POINT_ENCOUNTERED

// args: the arguments after the program's name. Exactly one verb, in any letter case;
// nothing when anything else is there.
std::optional<HelperVerb> ParseHelperCommandLine(const std::vector<std::wstring>& args);

}  // namespace mjr::installer
