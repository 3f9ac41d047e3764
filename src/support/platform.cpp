// The platform family and the locale, fixed at start; the NT family's newer functions looked up.
#include "platform.h"

#include "integers.h"
#include <cstring>

int PlatformId = 0;
bool FarEastLocale = false;
std::bitset<256> LeadBytes;
TWideApi WideApi;
TKernelApi KernelApi;

namespace {

constexpr LCID kEnglishUs = 0x409;
// Primary languages whose code pages are all single-byte: neutral, Danish, German,
// English, Spanish, Finnish, French, Italian, Dutch, Norwegian, Portuguese, Swedish.
constexpr DWORD kSingleByteLanguages = 0x20591EC1;

OSVERSIONINFOA QueryVersion(bool& ok) {
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info;
    ok = GetVersionExA(&info) != 0;
    return info;
}

void FillLeadBytes(LCID locale) {
    char codePageText[7] = {};
    GetLocaleInfoA(locale, LOCALE_IDEFAULTANSICODEPAGE, codePageText, sizeof codePageText);
    const UINT codePage = static_cast<UINT>(ParseIntOr(codePageText, static_cast<int32_t>(GetACP())));
    CPINFO info = {};
    if (!GetCPInfo(codePage, &info)) return;
    for (int i = 0; i + 1 < MAX_LEADBYTES; i += 2) {
        const BYTE first = info.LeadByte[i];
        const BYTE last = info.LeadByte[i + 1];
        if (first == 0 && last == 0) break;
        for (unsigned b = first; b <= last; ++b) LeadBytes[b] = true;
    }
}

template <class F>
void LookUp(F& function, const char* module, const char* name) {
    LookUpFunction(function, GetModuleHandleA(module), name);
}

void LookUpWideApi() {
    LookUp(WideApi.getModuleFileNameW, "kernel32.dll", "GetModuleFileNameW");
    LookUp(WideApi.getLongPathNameW, "kernel32.dll", "GetLongPathNameW");
    LookUp(WideApi.getPrivateProfileStringW, "kernel32.dll", "GetPrivateProfileStringW");
    LookUp(WideApi.writePrivateProfileStringW, "kernel32.dll", "WritePrivateProfileStringW");
    LookUp(WideApi.shellExecuteW, "shell32.dll", "ShellExecuteW");
    LookUp(WideApi.charUpperBuffW, "user32.dll", "CharUpperBuffW");
    LookUp(WideApi.messageBoxW, "user32.dll", "MessageBoxW");
    LookUp(WideApi.shGetSpecialFolderPathW, "shell32.dll", "SHGetSpecialFolderPathW");
    LookUp(WideApi.findFirstFileW, "kernel32.dll", "FindFirstFileW");
    LookUp(WideApi.findNextFileW, "kernel32.dll", "FindNextFileW");
    LookUp(WideApi.deleteFileW, "kernel32.dll", "DeleteFileW");
    LookUp(WideApi.createFileW, "kernel32.dll", "CreateFileW");
    LookUp(WideApi.regOpenKeyExW, "advapi32.dll", "RegOpenKeyExW");
    LookUp(WideApi.regQueryValueExW, "advapi32.dll", "RegQueryValueExW");
    LookUp(WideApi.regDeleteValueW, "advapi32.dll", "RegDeleteValueW");
    LookUp(WideApi.setFileAttributesW, "kernel32.dll", "SetFileAttributesW");
    LookUp(WideApi.createProcessW, "kernel32.dll", "CreateProcessW");
}

}  // namespace

void InitPlatformInfo() {
    bool ok = false;
    const OSVERSIONINFOA version = QueryVersion(ok);
    if (ok) PlatformId = static_cast<int>(version.dwPlatformId);
    WideApi = TWideApi{};
    if (PlatformId == VER_PLATFORM_NT) LookUpWideApi();
    LookUp(KernelApi.getFileInformationByHandle, "kernel32.dll", "GetFileInformationByHandle");
    LookUp(KernelApi.setFileTime, "kernel32.dll", "SetFileTime");
    LookUp(KernelApi.setFileAttributesA, "kernel32.dll", "SetFileAttributesA");
    LookUp(KernelApi.createProcessA, "kernel32.dll", "CreateProcessA");
    LookUp(KernelApi.getSystemDirectoryA, "kernel32.dll", "GetSystemDirectoryA");

    LCID locale = GetThreadLocale();
    if (locale == 0) locale = kEnglishUs;
    const unsigned primaryLanguage = locale & 0x3FF;
    LeadBytes.reset();
    FarEastLocale = false;
    if (PlatformId == VER_PLATFORM_NT) {
        if (primaryLanguage < 32 && ((kSingleByteLanguages >> primaryLanguage) & 1)) return;
        FillLeadBytes(locale);
        FarEastLocale = LeadBytes.any();
    } else {
        FarEastLocale = GetSystemMetrics(SM_DBCSENABLED) != 0;
        if (FarEastLocale) FillLeadBytes(locale);
    }
}

bool IsXpOrLater() {
    bool ok = false;
    const OSVERSIONINFOA version = QueryVersion(ok);
    if (!ok || version.dwPlatformId != VER_PLATFORM_WIN32_NT) return false;
    return version.dwMajorVersion > 5 || (version.dwMajorVersion == 5 && version.dwMinorVersion >= 1);
}

void HardenLibrarySearch() {
    constexpr DWORD kSearchSystem32 = 0x800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
    BOOL(WINAPI * setDefaultDllDirectories)(DWORD);
    BOOL(WINAPI * setDllDirectoryW)(LPCWSTR);
    LookUp(setDefaultDllDirectories, "kernel32.dll", "SetDefaultDllDirectories");
    LookUp(setDllDirectoryW, "kernel32.dll", "SetDllDirectoryW");
    if (setDefaultDllDirectories && setDefaultDllDirectories(kSearchSystem32)) return;
    if (setDllDirectoryW) setDllDirectoryW(L"");
}

HMODULE LoadSystemLibrary(const char* name) {
    char path[MAX_PATH + 1];
    const UINT n = KernelApi.getSystemDirectoryA ? KernelApi.getSystemDirectoryA(path, sizeof path) : 0;
    const size_t length = std::strlen(name);
    if (n == 0 || n + 1 + length >= sizeof path) return nullptr;  // failed, or no room for the name and its NUL
    path[n] = '\\';
    std::memcpy(path + n + 1, name, length + 1);
    return LoadLibraryA(path);
}
