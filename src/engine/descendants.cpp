#include "engine/descendants.h"

#include <algorithm>

namespace mjr {
namespace {

enum : std::uint8_t { kUnwalked, kWalking, kWalked };

}  // namespace

void ReadFamily(Platform& platform, ScannedProcess& process) {
    const Handle q = process.Queried.get();
    FileTime created, exited, kernel, user;
    if (platform.GetProcessTimes(q, &created, &exited, &kernel, &user))
        process.Created = std::uint64_t{created.dwHighDateTime} << 32 | created.dwLowDateTime;
    ProcessBasicInformation basic;
    Dword length = 0;
    // Pointer-sized, as Windows keeps it; an identifier is 32 bits, so a wider value is no parent.
    if (platform.NtQueryInformationProcess(q, kProcessBasicInformation, &basic, sizeof basic, &length) == 0 &&
        static_cast<std::uint64_t>(basic.InheritedFromUniqueProcessId) >> 32 == 0)
        process.Parent = static_cast<Dword>(basic.InheritedFromUniqueProcessId);
}

bool ProvesLink(const ScannedProcess& parent, const ScannedProcess& child) noexcept {
    // An identifier passes to a new process once the old one is gone: only a parent created no
    // later than its child can be the one that started it.
    return parent.Created != 0 && child.Created != 0 && parent.Created <= child.Created;
}

const FavoriteRecord* Descendants::LearnedFor(const ScannedProcess& process) const noexcept {
    const auto it = std::lower_bound(learned_.begin(), learned_.end(), process.Pid,
                                     [](const Learned& l, Dword pid) { return l.pid < pid; });
    // The same identifier under another creation time is another process.
    return it != learned_.end() && it->pid == process.Pid && it->created == process.Created ? it->passedOn : nullptr;
}

bool Descendants::LiveParent(std::size_t child, std::size_t& parent) const noexcept {
    const ScannedProcess& c = Scan[child];
    // A parent left 0 (unread, or none) names no scanned process: the idle process is never scanned.
    const auto it = std::lower_bound(byPid_.begin(), byPid_.end(), std::make_pair(c.Parent, std::int32_t{0}));
    if (it == byPid_.end() || it->first != c.Parent || !ProvesLink(Scan[static_cast<std::size_t>(it->second)], c))
        return false;
    parent = static_cast<std::size_t>(it->second);
    return true;
}

// Up from `start` through live parents to the first process whose answer is known, without
// recursion (a user can start a chain of any depth); each process on the way passes on the same.
void Descendants::Walk(std::size_t start) {
    chain_.clear();
    std::size_t k = start;
    while (Scan[k].Walk == kUnwalked) {
        ScannedProcess& p = Scan[k];
        p.Walk = kWalking;
        chain_.push_back(k);
        // A process matching a `children` favourite passes on its own; one placed before passes on
        // what it was given then, though its parent has ended since.
        p.PassedOn = p.Own != nullptr && p.Own->Children ? p.Own : LearnedFor(p);
        std::size_t parent = 0;
        if (p.PassedOn || !LiveParent(k, parent)) {
            p.Walk = kWalked;
            break;
        }
        p.StartedBy = static_cast<std::int32_t>(parent);
        k = parent;
    }
    // Still walking: a loop of equal creation times, which proves nothing.
    const FavoriteRecord* passed = Scan[k].Walk == kWalked ? Scan[k].PassedOn : nullptr;
    for (std::size_t j : chain_) {
        if (Scan[j].Walk == kWalked) continue;
        Scan[j].PassedOn = passed;
        Scan[j].Walk = kWalked;
    }
}

void Descendants::Place(const FavoritesTable& favorites) {
    // What was learned points into the table it was learned with.
    if (generation_ != favorites.Generation()) {
        learned_.clear();
        generation_ = favorites.Generation();
    }
    byPid_.clear();
    std::int32_t index = 0;
    for (const ScannedProcess& p : Scan) byPid_.emplace_back(p.Pid, index++);
    std::sort(byPid_.begin(), byPid_.end());
    for (std::size_t i = 0; i < Scan.size(); ++i) Walk(i);
    // Its own favourite, exact path or pattern, comes before any ancestor's.
    for (ScannedProcess& p : Scan) p.Placement = p.Own ? p.Own : p.PassedOn;
    next_.clear();
    for (const auto& [pid, index] : byPid_) {  // in identifier order, as LearnedFor looks
        const ScannedProcess& p = Scan[static_cast<std::size_t>(index)];
        if (p.PassedOn && p.Created != 0) next_.push_back({pid, p.Created, p.PassedOn});
    }
    learned_.swap(next_);
}

}  // namespace mjr
