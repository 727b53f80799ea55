#pragma once
// The ways people write a favourite that the loader reads beyond four tab-separated fields: a
// path in double quotes (Explorer's "Copy as path"), a note after the program's name, and a
// line written with blanks where its tabs belong.
#include <string>
#include <string_view>

#include "profile/favorites.h"

namespace mjr {

// The path a Path field names. A field in double quotes loads without them, a note after the
// closing quote cut first ("C:\Games\game.exe" # main). Otherwise, where the field's last name
// holds ".exe" (any case) followed by blanks and "#" or ";", the blanks and the rest are cut
// (C:\Games\game.exe   ; stream). Nothing else is ever cut: C:\My #1 Games\x.exe stays whole.
std::wstring_view PathOfField(std::wstring_view field) noexcept;

// A favourite read from a record without any tab: a name (any words, or none), the CPU text
// as one word the program reads as meant, the priority as one word (or Task Manager's "Above
// normal" and "Below normal"), a power word joined with "+", and the path from the last blank
// that a drive ("C:\"), a share ("\\") or a variable ("%NAME%\") follows, in quotes or not.
// Such a line has no fields past its path. False, and `favorite` untouched, when it does not
// read so.
bool ReadBlankSeparated(std::wstring_view record, FavoriteRecord& favorite);

}  // namespace mjr
