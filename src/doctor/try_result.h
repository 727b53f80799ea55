#pragma once
// What the rows of --try add up to: how many sets this Windows has did not work, how many
// follow only from the run's rights, and what to do about them in the profile.
#include <string>
#include <vector>

namespace mjr::doctor {

class TryTally {
public:
    // A set this Windows has that did not work, with what to do about it.
    void Refused(const std::wstring& advice);
    // A set this Windows lacks, with what to do about it; no failure of this PC.
    void Lacking(const std::wstring& advice);
    // A set refused for want of this run's rights, which the elevated program has.
    void FollowsRights() { ++followRights_; }

    int refused() const { return refused_; }
    // "Result: 3 sets this Windows has did not work: leave +Eco and +NoEco out of this PC's profile."
    std::wstring ResultLine() const;

private:
    int refused_ = 0;
    int followRights_ = 0;
    std::vector<std::wstring> advice_;   // for refused sets, each once
    std::vector<std::wstring> lacking_;  // for missing sets, each once
};

}  // namespace mjr::doctor
