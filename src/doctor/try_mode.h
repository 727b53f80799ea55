#pragma once
// --try: what this PC lets the program do. Every kind of placement a profile can ask for is
// tried on one process only, a program of Windows' own started suspended (it never runs)
// inside a job object that ends it when the doctor ends, and read back through the program's
// own code.
#include "doctor/doctor.h"
#include "platform/platform.h"

namespace mjr::doctor {

inline constexpr int kExitTryWorks = 0;
inline constexpr int kExitTryRefused = 1;  // a set this Windows has was refused, or did not hold

int RunTry(Platform& platform, TryPlatform& trial, const CheckerBuild& build, ReportWriter& out);

}  // namespace mjr::doctor
