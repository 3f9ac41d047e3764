// Double-byte-aware ANSI paths, wide names, and where the program itself lives.
#include "paths.h"

#include "platform.h"
#include "raii.h"

#include <cstring>

namespace {

constexpr size_t kMaxPath = MAX_PATH;  // 260 characters, plus the NUL

bool IsLead(char c) { return LeadBytes.test(static_cast<unsigned char>(c)); }

}  // namespace

TByteKind ByteKindAt(const std::string& text, int index) {
    if (!FarEastLocale || index < 1 || index > static_cast<int>(text.size())) return TByteKind::Single;
    const int at = index - 1;
    const char c = text[at];
    if (c == '\0') return TByteKind::Single;
    if (at > 0) {
        int leadsBefore = 0;
        for (int i = at - 1; i >= 0 && IsLead(text[i]); --i) ++leadsBefore;
        if (leadsBefore % 2 == 1) return TByteKind::Trail;
    }
    return IsLead(c) ? TByteKind::Lead : TByteKind::Single;
}

bool IsSingleByteBackslash(const std::string& text, int index) {
    return index >= 1 && index <= static_cast<int>(text.size()) && text[index - 1] == '\\' &&
           ByteKindAt(text, index) == TByteKind::Single;
}

int LastDelimiterIndex(const char* delimiters, const std::string& text) {
    int i = static_cast<int>(text.size());
    while (i > 0) {
        const char c = text[i - 1];
        if (c != '\0' && std::strchr(delimiters, c)) {
            if (ByteKindAt(text, i) != TByteKind::Trail) return i;
            i -= 2;  // the trail byte and its lead byte
        } else {
            --i;
        }
    }
    return 0;
}

std::string DirectoryOf(const std::string& path) { return path.substr(0, LastDelimiterIndex("\\:", path)); }

std::string FileNameOf(const std::string& path) { return path.substr(LastDelimiterIndex("\\:", path)); }

std::string WithTrailingBackslash(const std::string& path) {
    if (IsSingleByteBackslash(path, static_cast<int>(path.size()))) return path;
    return path + '\\';
}

std::string WithoutTrailingBackslash(const std::string& path) {
    if (IsSingleByteBackslash(path, static_cast<int>(path.size()))) return path.substr(0, path.size() - 1);
    return path;
}

std::string UpperCaseAnsi(const std::string& text) {
    std::string copy = text;
    if (!copy.empty()) CharUpperBuffA(&copy[0], static_cast<DWORD>(copy.size()));
    return copy;
}

char* CopyToBuffer(char* buffer, const std::string& text) {
    const size_t n = strnlen(text.c_str(), text.size());
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return buffer;
}

std::string LongPathName(const std::string& path) {
    if (path.empty()) return {};
    using GetLongPathNameFn = DWORD(WINAPI*)(LPCSTR, LPSTR, DWORD);
    const unique_hmodule kernel(LoadLibraryA("kernel32.dll"));
    if (!kernel) return {};
    const auto getLongPathName =
        reinterpret_cast<GetLongPathNameFn>(reinterpret_cast<void*>(GetProcAddress(kernel.get(), "GetLongPathNameA")));
    if (!getLongPathName) return {};
    char buffer[kMaxPath + 1] = {};
    const DWORD n = getLongPathName(path.c_str(), buffer, sizeof buffer);
    if (n == 0 || n >= sizeof buffer) return {};  // failed, or the long form does not fit
    return buffer;
}

std::string ModuleFileName(HMODULE module) {
    char buffer[kMaxPath + 1] = {};
    const DWORD n = GetModuleFileNameA(module, buffer, sizeof buffer - 1);
    return std::string(buffer, n);
}

TWide Widen(const std::string& ansi) {
    const int n = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
    TWide wide(static_cast<size_t>(n), L'\0');
    if (n > 0) MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), &wide[0], n);
    return wide;
}

std::string Narrow(const TWide& wide) {
    const int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string ansi(static_cast<size_t>(n), '\0');
    if (n > 0) WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), &ansi[0], n, nullptr, nullptr);
    return ansi;
}

TWide ProgramFileName() {
    if (!WideApi.getModuleFileNameW) return Widen(ModuleFileName(nullptr));
    wchar_t buffer[kMaxPath + 1] = {};
    return TWide(buffer, WideApi.getModuleFileNameW(nullptr, buffer, kMaxPath));
}

TWide ProgramDirectory() {
    // Without a long form the module path still names the right directory; an empty one
    // would put the settings in whatever the current directory is.
    if (!WideApi.getLongPathNameW) {
        const std::string modulePath = ModuleFileName(nullptr), longPath = LongPathName(modulePath);
        return Widen(DirectoryOf(longPath.empty() ? modulePath : longPath));
    }
    const TWide modulePath = ProgramFileName();
    wchar_t buffer[kMaxPath + 1] = {};
    const DWORD n = WideApi.getLongPathNameW(modulePath.c_str(), buffer, kMaxPath + 1);
    const TWide path = n > 0 && n <= kMaxPath ? TWide(buffer, n) : modulePath;
    return path.substr(0, path.size() - FileNameOf(path).size());
}

TWide FileNameOf(const TWide& path) {
    const size_t delimiter = path.find_last_of(L"\\:");
    return delimiter == TWide::npos ? path : path.substr(delimiter + 1);
}

TWide UpperCase(const TWide& text) {
    if (!WideApi.charUpperBuffW) return Widen(UpperCaseAnsi(Narrow(text)));
    TWide copy = text;
    if (!copy.empty()) WideApi.charUpperBuffW(&copy[0], static_cast<DWORD>(copy.size()));
    return copy;
}
