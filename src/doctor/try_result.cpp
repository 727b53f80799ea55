// The sum of --try's rows and the one line that says what to do about them.
#include "doctor/try_result.h"

#include <algorithm>

#include "doctor/report_text.h"

namespace mjr::doctor {
namespace {

void AddOnce(std::vector<std::wstring>& list, const std::wstring& advice) {
    if (std::find(list.begin(), list.end(), advice) == list.end()) list.push_back(advice);
}

std::wstring Joined(const std::vector<std::wstring>& list) {
    std::wstring all;
    for (const std::wstring& advice : list) all += (all.empty() ? L"" : L"; ") + advice;
    return all;
}

}  // namespace

void TryTally::Refused(const std::wstring& advice) {
    ++refused_;
    AddOnce(advice_, advice);
}

void TryTally::Lacking(const std::wstring& advice) { AddOnce(lacking_, advice); }

std::wstring TryTally::ResultLine() const {
    std::wstring result = refused_ == 0 ? std::wstring(L"Result: every set this Windows has works")
                                        : L"Result: " + Counted(static_cast<std::size_t>(refused_), L"set", L"sets") +
                                              L" this Windows has did not work: " + Joined(advice_);
    if (!lacking_.empty()) result += L"; for what this Windows lacks, " + Joined(lacking_);
    if (followRights_ > 0)
        result += L"; " + (followRights_ == 1 ? std::wstring(L"1 more follows from this run's rights and is not counted")
                                              : std::to_wstring(followRights_) +
                                                    L" more follow from this run's rights and are not counted") +
                  L": run the doctor as administrator, as the program runs";
    return result + L".";
}

}  // namespace mjr::doctor
