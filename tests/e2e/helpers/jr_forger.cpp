// A process that lies about itself as any user's process can: it rewrites the loader data in
// its own memory so that its module list names another program, then sleeps. psapi's module
// calls (EnumProcessModules, GetModuleFileNameEx) read that list from here; the kernel's
// record of the image (QueryFullProcessImageName) stays what it was.
//
//   jr_forger <claimed full path> [seconds]
// Exit code 0 after sleeping, 1 when the list could not be rewritten, 2 on bad usage.
#include <windows.h>
#include <shellapi.h>

#include <cstdlib>
#include <cwchar>

namespace {

// The documented prefixes of the loader's structures, laid out as Windows lays them out.
struct UnicodeText {
    USHORT Length;  // bytes, without the NUL
    USHORT MaximumLength;
    PWSTR Buffer;
};
struct Links {
    Links* Flink;
    Links* Blink;
};
struct LoaderEntry {
    Links InLoadOrderLinks;
    Links InMemoryOrderLinks;
    Links InInitializationOrderLinks;
    PVOID DllBase;
    PVOID EntryPoint;
    ULONG SizeOfImage;
    UnicodeText FullDllName;
    UnicodeText BaseDllName;
};
struct LoaderData {
    ULONG Length;
    BOOLEAN Initialized;
    PVOID SsHandle;
    Links InLoadOrderModuleList;
};
struct ProcessBlock {
    BYTE Flags[4];
    PVOID Mutant;
    PVOID ImageBaseAddress;
    LoaderData* Ldr;
};

// PROCESS_BASIC_INFORMATION, asked of NtQueryInformationProcess (class 0).
struct BasicInformation {
    LONG ExitStatus;
    ProcessBlock* PebBaseAddress;
    ULONG_PTR AffinityMask;
    LONG BasePriority;
    ULONG_PTR UniqueProcessId;
    ULONG_PTR InheritedFromUniqueProcessId;
};
using QueryInformation = LONG(WINAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);

ProcessBlock* OwnProcessBlock() {
    const auto query = reinterpret_cast<QueryInformation>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
    BasicInformation info{};
    if (!query || query(GetCurrentProcess(), 0, &info, sizeof(info), nullptr) != 0) return nullptr;
    return info.PebBaseAddress;
}

wchar_t g_fullName[1024];

void Claim(UnicodeText& text, const wchar_t* name) {
    const std::size_t chars = std::wcslen(name);
    text.Buffer = const_cast<PWSTR>(name);
    text.Length = static_cast<USHORT>(chars * sizeof(wchar_t));
    text.MaximumLength = static_cast<USHORT>((chars + 1) * sizeof(wchar_t));
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc < 2 || std::wcslen(argv[1]) >= sizeof(g_fullName) / sizeof(wchar_t)) return 2;
    std::wcscpy(g_fullName, argv[1]);
    const wchar_t* slash = std::wcsrchr(g_fullName, L'\\');
    const wchar_t* baseName = slash ? slash + 1 : g_fullName;

    ProcessBlock* peb = OwnProcessBlock();
    if (!peb || !peb->Ldr) return 1;
    Links* first = peb->Ldr->InLoadOrderModuleList.Flink;
    if (first == &peb->Ldr->InLoadOrderModuleList) return 1;
    // The first entry in load order is the executable itself.
    LoaderEntry* self = reinterpret_cast<LoaderEntry*>(first);
    if (self->DllBase != peb->ImageBaseAddress) return 1;
    Claim(self->FullDllName, g_fullName);
    Claim(self->BaseDllName, baseName);

    long seconds = argc > 2 ? std::wcstol(argv[2], nullptr, 10) : 300;
    if (seconds <= 0) seconds = 300;
    LocalFree(argv);
    Sleep(static_cast<DWORD>(seconds) * 1000);
    return 0;
}
