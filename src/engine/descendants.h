#pragma once
// A favourite's children: the processes that a program matching a `children` favourite started,
// and those they started, each link proven by the parent's identifier and creation time; and
// what the pass learned of them, kept from one scan to the next.
#include <cstdint>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "platform/unique_handle.h"
#include "profile/favorites.h"

namespace mjr {

// One process a scan opened, as collected before anything is decided.
struct ScannedProcess {
    ScannedProcess(Dword pid, UniqueHandle queried, const FavoriteRecord* own) noexcept
        : Pid(pid), Queried(std::move(queried)), Own(own) {}

    Dword Pid;
    UniqueHandle Queried;       // open for querying until the scan has placed it
    const FavoriteRecord* Own;  // the favourite its own path matches, or null
    std::uint64_t Created = 0;  // its creation time; 0 when unread, which proves no link
    Dword Parent = 0;           // its parent's identifier; 0 when unread or when it has none

    // Decided by Descendants::Place: what its own favourite or its nearest `children` ancestor's
    // gives it, and, when that came through a parent alive in this scan, the parent's index.
    const FavoriteRecord* Placement = nullptr;
    std::int32_t StartedBy = -1;
    bool ThroughAncestor() const noexcept { return Placement != nullptr && Placement != Own; }

    // The favourite it passes on to what it starts, while Place works.
    const FavoriteRecord* PassedOn = nullptr;
    std::uint8_t Walk = 0;
};

// Reads the creation time and the parent's identifier through the handle open for querying;
// either one left 0 when it cannot be read.
void ReadFamily(Platform& platform, ScannedProcess& process);

// The one link a scan makes: a parent alive in the same scan, created no later than its child.
bool ProvesLink(const ScannedProcess& parent, const ScannedProcess& child) noexcept;

class Descendants {
public:
    // The processes of the scan under way; its storage is kept for the next scan.
    std::vector<ScannedProcess> Scan;

    // Gives each collected process its placement: its own favourite; else the favourite of its
    // nearest ancestor that matched a `children` favourite, through links proven now or learned
    // by an earlier scan of the same table. Keeps each process of such a tree for the next scan
    // and forgets every other, a process gone among them.
    void Place(const FavoritesTable& favorites);

    std::size_t LearnedCount() const noexcept { return learned_.size(); }

private:
    struct Learned {
        Dword pid;
        std::uint64_t created;
        const FavoriteRecord* passedOn;  // into the table of `generation_`
    };
    const FavoriteRecord* LearnedFor(const ScannedProcess& process) const noexcept;
    // The scan's index of the child's parent, when that parent proves the link.
    bool LiveParent(std::size_t child, std::size_t& parent) const noexcept;
    void Walk(std::size_t start);

    std::vector<Learned> learned_, next_;  // by identifier
    std::uint32_t generation_ = 0;
    std::vector<std::pair<Dword, std::int32_t>> byPid_;  // the scan's identifiers and indices, sorted
    std::vector<std::size_t> chain_;
};

}  // namespace mjr
