// Double-byte-aware ANSI paths, wide names, and where the program itself lives.
#include "paths.h"

#include "platform.h"
#include "raii.h"

#include <cstring>

namespace {

constexpr DWORD kMaxPath = MAX_PATH;  // 260 characters, plus the NUL

bool IsLead(char c) { return LeadBytes[static_cast<unsigned char>(c)]; }

}  // namespace

TByteKind ByteKindAt(const TAnsi& text, int index) {
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

bool IsSingleByteBackslash(const TAnsi& text, int index) {
    return index >= 1 && index <= static_cast<int>(text.size()) && text[index - 1] == '\\' &&
           ByteKindAt(text, index) == TByteKind::Single;
}

int LastDelimiterIndex(const char* delimiters, const TAnsi& text) {
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

TAnsi DirectoryOf(const TAnsi& path) { return path.Left(LastDelimiterIndex("\\:", path)); }

TAnsi FileNameOf(const TAnsi& path) { return path.From(LastDelimiterIndex("\\:", path)); }

TAnsi WithTrailingBackslash(const TAnsi& path) {
    if (IsSingleByteBackslash(path, static_cast<int>(path.size()))) return path;
    return path + '\\';
}

TAnsi WithoutTrailingBackslash(const TAnsi& path) {
    if (IsSingleByteBackslash(path, static_cast<int>(path.size()))) return path.Left(path.size() - 1);
    return path;
}

TAnsi UpperCaseAnsi(const TAnsi& text) {
    TAnsi copy = text;
    if (!copy.empty()) CharUpperBuffA(copy.Room(), static_cast<DWORD>(copy.size()));
    return copy;
}

char* CopyToBuffer(char* buffer, const TAnsi& text) {
    const size_t n = strnlen(text.c_str(), text.size());
    std::memcpy(buffer, text.c_str(), n);
    buffer[n] = '\0';
    return buffer;
}

TAnsi LongPathName(const TAnsi& path) {
    if (path.empty()) return {};
    DWORD(WINAPI * getLongPathName)(LPCSTR, LPSTR, DWORD);
    LookUpFunction(getLongPathName, GetModuleHandleA("kernel32.dll"), "GetLongPathNameA");  // loaded in every process
    if (!getLongPathName) return {};
    char buffer[kMaxPath + 1] = {};
    const DWORD n = getLongPathName(path.c_str(), buffer, sizeof buffer);
    if (n == 0 || n >= sizeof buffer) return {};  // failed, or the long form does not fit
    return buffer;
}

// MAX_PATH with its NUL: a path that fills the buffer was cut by the call (and may lack its
// NUL), and is refused.
TAnsi ModuleFileName(HMODULE module) {
    char buffer[kMaxPath];
    const DWORD n = GetModuleFileNameA(module, buffer, kMaxPath);
    return n < kMaxPath ? TAnsi(buffer, n) : TAnsi::Refused();
}

TWide ModulePath(HMODULE module) {
    if (!WideApi.getModuleFileNameW) return Widen(ModuleFileName(module));
    wchar_t buffer[kMaxPath];
    const DWORD n = WideApi.getModuleFileNameW(module, buffer, kMaxPath);
    return n < kMaxPath ? TWide(buffer, n) : TWide::Refused();
}

TWide Widen(const TAnsi& ansi) {
    if (ansi.TooLong()) return TWide::Refused();
    TWide wide;
    const int n = MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), static_cast<int>(ansi.size()), wide.Room(),
                                      static_cast<int>(TWide::kCapacity));
    return wide.Keep(n == 0 && !ansi.empty() ? TWide::kCapacity + 1 : n);  // 0 for text that does not fit
}

TAnsi Narrow(const TWide& wide) {
    if (wide.TooLong()) return TAnsi::Refused();
    TAnsi ansi;
    const int n = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), static_cast<int>(wide.size()), ansi.Room(),
                                      static_cast<int>(TAnsi::kCapacity), nullptr, nullptr);
    return ansi.Keep(n == 0 && !wide.empty() ? TAnsi::kCapacity + 1 : n);
}

TWide ProgramFileName() { return ModulePath(nullptr); }

TWide LongForm(const TWide& path) {
    if (!WideApi.getLongPathNameW) {
        const TAnsi longPath = LongPathName(Narrow(path));
        return longPath.empty() ? path : Widen(longPath);
    }
    wchar_t buffer[kMaxPath + 1];
    const DWORD n = WideApi.getLongPathNameW(path.c_str(), buffer, kMaxPath + 1);
    return n > 0 && n <= kMaxPath ? TWide(buffer, n) : path;
}

TWide ProgramDirectory() {
    // Split as wide text, where no trail byte of the code page can pass for a backslash.
    const TWide path = LongForm(ProgramFileName());
    return path.Left(path.size() - FileNameOf(path).size());
}

TWide FileNameOf(const TWide& path) {
    size_t after = path.size();
    while (after > 0 && path[after - 1] != L'\\' && path[after - 1] != L':') --after;
    return path.From(after);
}

TWide UpperCase(const TWide& text) {
    if (!WideApi.charUpperBuffW) return Widen(UpperCaseAnsi(Narrow(text)));
    TWide copy = text;
    if (!copy.empty()) WideApi.charUpperBuffW(copy.Room(), static_cast<DWORD>(copy.size()));
    return copy;
}
