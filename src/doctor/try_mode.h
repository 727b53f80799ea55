#pragma once
// --try: what this PC lets the program do. Every kind of placement a profile can ask for is
// tried on one process only, a waiting copy of the doctor inside a job object that ends it
// when the doctor ends, and read back through the program's own code.
#include <string_view>

#include "doctor/doctor.h"
#include "platform/platform.h"

namespace mjr::doctor {

inline constexpr int kExitTryWorks = 0;
inline constexpr int kExitTryRefused = 1;  // a set this Windows has was refused, or did not hold
// The hidden option of the waiting copy, followed by the doctor's process identifier.
inline constexpr wchar_t kWaitingOption[] = L"--try-waiting";

int RunTry(Platform& platform, TryPlatform& trial, const CheckerBuild& build, ReportWriter& out);

// The waiting copy: waits, without spinning, until the doctor of that identifier has ended.
// Returns 0; 2 when the identifier is no number.
int RunWaitingCopy(Platform& platform, TryPlatform& trial, std::wstring_view doctorPid);

}  // namespace mjr::doctor
