// Reading the forms people write a favourite in: a quoted path, a note after the program, blanks for tabs.
#include "profile/favorite_forms.h"

#include <vector>

#include "profile/cpu_words.h"
#include "profile/priority_words.h"

namespace mjr {
namespace {

constexpr std::size_t npos = std::wstring_view::npos;

wchar_t Lower(wchar_t c) noexcept { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c; }

bool IsAsciiLetter(wchar_t c) noexcept { return Lower(c) >= L'a' && Lower(c) <= L'z'; }

// Blanks, then "#" or ";": a note.
bool IsNoteAfter(std::wstring_view rest) noexcept {
    const std::size_t mark = rest.find_first_not_of(L' ');
    return mark > 0 && mark != npos && (rest[mark] == L'#' || rest[mark] == L';');
}

bool IsExeAt(std::wstring_view text, std::size_t at) noexcept {
    constexpr std::wstring_view exe = L".exe";
    if (text.size() - at < exe.size()) return false;
    for (std::size_t i = 0; i < exe.size(); ++i)
        if (Lower(text[at + i]) != exe[i]) return false;
    return true;
}

// Where a path's own text ends: before a note after ".exe" in its last name, or at its end.
std::size_t EndBeforeNote(std::wstring_view path) noexcept {
    const std::size_t lastName = path.rfind(L'\\');
    for (std::size_t at = lastName == npos ? 0 : lastName + 1; at < path.size(); ++at)
        if (IsExeAt(path, at) && IsNoteAfter(path.substr(at + 4))) return at + 4;
    return path.size();
}

// A drive ("C:\"), a share ("\\") or a variable ("%NAME%\"), in double quotes or not.
bool StartsAPath(std::wstring_view text) noexcept {
    if (!text.empty() && text.front() == L'"') text.remove_prefix(1);
    if (text.size() >= 3 && IsAsciiLetter(text[0]) && text[1] == L':' && text[2] == L'\\') return true;
    if (text.starts_with(L"\\\\")) return true;
    if (text.empty() || text.front() != L'%') return false;
    const std::size_t close = text.find_first_of(L"%\\", 1);
    return close != npos && close > 1 && text[close] == L'%' && text.substr(close + 1).starts_with(L'\\');
}

}  // namespace

std::wstring_view PathOfField(std::wstring_view field) noexcept {
    if (!field.empty() && field.front() == L'"') {
        // A Windows path holds no double quote, so the next one closes it.
        const std::size_t close = field.find(L'"', 1);
        if (close != npos && (close + 1 == field.size() || IsNoteAfter(field.substr(close + 1))))
            return field.substr(1, close - 1);
        return field;
    }
    return field.substr(0, EndBeforeNote(field));
}

bool ReadBlankSeparated(std::wstring_view record, FavoriteRecord& favorite) {
    std::size_t pathStart = npos;
    for (std::size_t at = record.size(); at-- > 0;) {
        if (record[at] == L' ' && StartsAPath(record.substr(at + 1))) {
            pathStart = at + 1;
            break;
        }
    }
    if (pathStart == npos) return false;
    std::vector<std::wstring_view> words;
    for (std::size_t at = 0; at < pathStart;) {
        const std::size_t end = record.find(L' ', at);
        if (end > at) words.push_back(record.substr(at, end - at));
        at = end + 1;
    }
    // One word, or two for Task Manager's "Below normal": never both, as no CPU text is a
    // priority word.
    for (std::size_t priorityWords = 1; priorityWords <= 2 && priorityWords < words.size(); ++priorityWords) {
        const std::size_t cpu = words.size() - priorityWords - 1;
        std::wstring priority(words[cpu + 1]);
        if (priorityWords == 2) priority.append(L" ").append(words[cpu + 2]);
        const PriorityRequest read = ReadPriorityText(priority);
        if ((read.leavesClass || read.priorityClass != 0) && IsAcceptedCpuText(words[cpu])) {
            favorite = {std::wstring(PathOfField(record.substr(pathStart))), std::wstring(words[cpu]), std::move(priority)};
            return true;
        }
    }
    return false;
}

}  // namespace mjr
