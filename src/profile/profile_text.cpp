#include "profile/profile_text.h"

namespace mjr {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// One UTF-8 sequence at bytes[at]: its length, or 0 when it is not a valid sequence
// (overlong, a surrogate, beyond U+10FFFF, cut short).
std::size_t NextUtf8(std::string_view bytes, std::size_t at, char32_t& codePoint) noexcept {
    const auto lead = static_cast<unsigned char>(bytes[at]);
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    }
    std::size_t length;
    char32_t smallest;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, codePoint = lead & 0x1F, smallest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, codePoint = lead & 0x0F, smallest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, codePoint = lead & 0x07, smallest = 0x10000;
    } else {
        return 0;
    }
    if (bytes.size() - at < length) return 0;
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(bytes[at + k]);
        if ((next & 0xC0) != 0x80) return 0;
        codePoint = (codePoint << 6) | (next & 0x3F);
    }
    if (codePoint < smallest || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) return 0;
    return length;
}

bool IsStrictUtf8WithMultiByte(std::string_view bytes) noexcept {
    bool multiByte = false;
    char32_t codePoint = 0;
    for (std::size_t at = 0; at < bytes.size();) {
        if (static_cast<unsigned char>(bytes[at]) < 0x80) {  // most of a profile: one byte, nothing to decode
            ++at;
            continue;
        }
        const std::size_t length = NextUtf8(bytes, at, codePoint);
        if (length == 0) return false;
        multiByte = multiByte || length > 1;
        at += length;
    }
    return multiByte;
}

// Wide text is UTF-16 on Windows (a pair of surrogates above U+FFFF) and UTF-32 elsewhere.
void AppendCodePoint(std::wstring& text, char32_t codePoint) {
    if constexpr (sizeof(wchar_t) == 2) {
        if (codePoint >= 0x10000) {
            codePoint -= 0x10000;
            text += static_cast<wchar_t>(0xD800 + (codePoint >> 10));
            text += static_cast<wchar_t>(0xDC00 + (codePoint & 0x3FF));
            return;
        }
    }
    text += static_cast<wchar_t>(codePoint);
}

std::wstring DecodeUtf8(std::string_view bytes) {
    std::wstring text;
    text.reserve(bytes.size());
    char32_t codePoint = 0;
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t length = NextUtf8(bytes, at, codePoint);
        AppendCodePoint(text, length == 0 ? kReplacement : codePoint);
        at += length == 0 ? 1 : length;
    }
    return text;
}

std::wstring DecodeUtf16(std::string_view bytes, bool bigEndian) {
    std::wstring text;
    text.reserve(bytes.size() / 2 + 1);
    const auto unitAt = [&](std::size_t at) -> char32_t {
        const auto first = static_cast<unsigned char>(bytes[at]);
        const auto second = static_cast<unsigned char>(bytes[at + 1]);
        return bigEndian ? (char32_t{first} << 8 | second) : (char32_t{second} << 8 | first);
    };
    std::size_t at = 0;
    for (; at + 1 < bytes.size(); at += 2) {
        const char32_t unit = unitAt(at);
        if constexpr (sizeof(wchar_t) == 4) {
            // A surrogate pair is one character where wide text is UTF-32.
            if (unit >= 0xD800 && unit <= 0xDBFF && at + 3 < bytes.size()) {
                const char32_t low = unitAt(at + 2);
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    text += static_cast<wchar_t>(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                    at += 2;
                    continue;
                }
            }
        }
        text += static_cast<wchar_t>(unit);
    }
    if (at < bytes.size()) text += static_cast<wchar_t>(kReplacement);  // a lone last byte
    return text;
}

}  // namespace

ProfileEncoding DetectProfileEncoding(std::string_view bytes) noexcept {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") return ProfileEncoding::Utf8WithMark;
    if (bytes.substr(0, 2) == "\xFF\xFE") return ProfileEncoding::Utf16LittleEndian;
    if (bytes.substr(0, 2) == "\xFE\xFF") return ProfileEncoding::Utf16BigEndian;
    return IsStrictUtf8WithMultiByte(bytes) ? ProfileEncoding::Utf8 : ProfileEncoding::Ansi;
}

ProfileText DecodeProfile(std::string_view bytes) {
    ProfileText text;
    text.Encoding = DetectProfileEncoding(bytes);
    switch (text.Encoding) {
        case ProfileEncoding::Ansi: break;
        case ProfileEncoding::Utf8: text.Wide = DecodeUtf8(bytes); break;
        case ProfileEncoding::Utf8WithMark: text.Wide = DecodeUtf8(bytes.substr(3)); break;
        case ProfileEncoding::Utf16LittleEndian: text.Wide = DecodeUtf16(bytes.substr(2), false); break;
        case ProfileEncoding::Utf16BigEndian: text.Wide = DecodeUtf16(bytes.substr(2), true); break;
    }
    return text;
}

std::wstring_view EncodingName(ProfileEncoding encoding) noexcept {
    switch (encoding) {
        case ProfileEncoding::Ansi: return L"ANSI (the system code page)";
        case ProfileEncoding::Utf8: return L"UTF-8";
        case ProfileEncoding::Utf8WithMark: return L"UTF-8 with byte-order mark";
        case ProfileEncoding::Utf16LittleEndian: return L"UTF-16 little-endian (\"Unicode\")";
        case ProfileEncoding::Utf16BigEndian: return L"UTF-16 big-endian";
    }
    return L"?";
}

}  // namespace mjr
