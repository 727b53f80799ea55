#include "installer/logon_task.h"

#include "common/text.h"

namespace mjr::installer {

std::wstring XmlEscape(std::wstring_view text) {
    std::wstring out;
    out.reserve(text.size());
    for (const wchar_t c : text) {
        switch (c) {
            case L'&': out += L"&amp;"; break;
            case L'<': out += L"&lt;"; break;
            case L'>': out += L"&gt;"; break;
            case L'"': out += L"&quot;"; break;
            case L'\'': out += L"&apos;"; break;
            default: out += c;
        }
    }
    return out;
}

bool IsEnforceValue(std::wstring_view enforce) noexcept {
    if (enforce.empty() || enforce.size() > 9) return false;
    for (const wchar_t c : enforce)
        if (c < L'0' || c > L'9') return false;
    return true;
}

LogonTask FillLogonTask(std::wstring_view xmlTemplate, std::wstring_view installDir, std::wstring_view enforce) {
    LogonTask task;
    if (installDir.empty()) {
        task.error = L"no install folder given";
        return task;
    }
    for (const wchar_t c : installDir) {
        if (c == L'"' || c < 0x20) {
            task.error = L"the install folder holds a double quote or a control character";
            return task;
        }
    }
    if (!enforce.empty() && !IsEnforceValue(enforce)) {
        task.error = L"ENFORCE must be decimal digits only (at most nine), not \"" + std::wstring(enforce) + L"\"";
        return task;
    }
    std::wstring program(installDir);
    if (program.back() != L'\\') program += L'\\';
    program += kProgramFile;
    std::wstring arguments;
    if (!enforce.empty()) arguments = L"<Arguments>/enforce:" + std::wstring(enforce) + L"</Arguments>";

    // The arguments first: a folder may be named like a placeholder, digits cannot.
    task.xml = ReplaceAll(ReplaceAll(xmlTemplate, L"@ARGUMENTS@", arguments), L"@PROGRAM@", XmlEscape(program));
    task.ok = true;
    return task;
}

}  // namespace mjr::installer
