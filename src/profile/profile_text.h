#pragma once
// How a profile's bytes become text: Notepad and other editors save UTF-8 (with or without
// a byte-order mark) or UTF-16 ("Unicode"), older ones the system's ANSI code page.
#include <string>
#include <string_view>

namespace mjr {

enum class ProfileEncoding { Ansi, Utf8, Utf8WithMark, Utf16LittleEndian, Utf16BigEndian };

// The profile as its encoding gives it. ANSI stays bytes, converted field by field as the
// loader always did; every other encoding is decoded whole, the mark dropped.
struct ProfileText {
    ProfileEncoding Encoding = ProfileEncoding::Ansi;
    std::wstring Wide;  // empty for ANSI
};

// A UTF-8 or UTF-16 mark decides; without one, text that is strictly valid UTF-8 and holds
// at least one multi-byte sequence is UTF-8; anything else is ANSI.
ProfileEncoding DetectProfileEncoding(std::string_view bytes) noexcept;

// The text of a profile in the encoding its bytes show. A sequence the encoding cannot
// hold (only possible behind a mark) becomes U+FFFD.
ProfileText DecodeProfile(std::string_view bytes);

// As a user would name it: "UTF-8 with byte-order mark", "ANSI (the system code page)".
std::wstring_view EncodingName(ProfileEncoding encoding) noexcept;

}  // namespace mjr
