// Process-wide platform facts, double-byte-aware path handling, text/integer
// conversions, the directory search and a few window and process utilities.
#pragma once

#include <windows.h>
#include <bitset>
#include <cstdint>
#include <string>
#include <vector>

// Fixed once at process start by InitPlatformInfo, read-only afterwards.
extern int PlatformId;              // 2 = NT family; anything else counts as 9x
extern bool FarEastLocale;          // the ANSI code page is double-byte
extern std::bitset<256> LeadBytes;  // bytes that begin a double-byte character

constexpr int VER_PLATFORM_NT = 2;

// Sets PlatformId, then the locale's double-byte information, in that order.
void InitPlatformInfo();

enum class TByteKind { Single, Lead, Trail };

// index is 1-based into text.
TByteKind ByteKindAt(const std::string& text, int index);
bool IsSingleByteBackslash(const std::string& text, int index);
int LastDelimiterIndex(const char* delimiters, const std::string& text);

std::string DirectoryOf(const std::string& path);
std::string FileNameOf(const std::string& path);
std::string WithTrailingBackslash(const std::string& path);
std::string WithoutTrailingBackslash(const std::string& path);

// The integer grammar: leading spaces; decimal with optional sign; or hexadecimal after
// "$", "x", "X", "0x" or "0X" with at most 8 significant digits; nothing may follow.
struct TParsedInt {
    bool valid;
    int32_t value;  // the number, or for invalid text the digits read before the stop, unsigned
};
TParsedInt ParseInt(const char* text);
int32_t ParseIntOr(const std::string& text, int32_t fallback);
int32_t ParseIntLenient(const std::string& text);
std::string FormatInt(int32_t value);

std::string UpperCaseAnsi(const std::string& text);
// The caller provides room for text.size() + 1 bytes.
char* CopyToBuffer(char* buffer, const std::string& text);

constexpr DWORD faReadOnly = 0x01;
constexpr DWORD faHidden = 0x02;
constexpr DWORD faSysFile = 0x04;
constexpr DWORD faVolumeId = 0x08;
constexpr DWORD faDirectory = 0x10;
constexpr DWORD faArchive = 0x20;

// One directory search. The destructor closes a search that is still open.
struct TSearchRec {
    DWORD dosTime = 0;  // local last-write time: date in the high word, time in the low
    int32_t size = 0;
    DWORD attributes = 0;
    std::string name;
    DWORD excludeMask = 0;
    HANDLE findHandle = INVALID_HANDLE_VALUE;
    WIN32_FIND_DATAA findData = {};

    TSearchRec() = default;
    ~TSearchRec();
    TSearchRec(const TSearchRec&) = delete;
    TSearchRec& operator=(const TSearchRec&) = delete;
};

// Return 0 when the record holds an entry, else the platform's error code.
DWORD FileSearchFirst(const std::string& pattern, DWORD wantedAttributes, TSearchRec& rec);
DWORD FileSearchNext(TSearchRec& rec);
void FileSearchClose(TSearchRec& rec);

// Empty text when the path is empty, the platform lacks GetLongPathNameA, or it fails.
std::string LongPathName(const std::string& path);
std::string ModuleFileName(HMODULE module);

// Wide text: file names as the NT family knows them, which the ANSI code page may not
// hold. A string of its own traits, so that only what the program uses is compiled in:
// the library's wide string would add about 35 KiB to the executable.
struct TWideTraits : std::char_traits<wchar_t> {};
using TWide = std::basic_string<wchar_t, TWideTraits>;
TWide Widen(const std::string& ansi);
std::string Narrow(const TWide& wide);  // characters the code page lacks become '?'

// The wide functions of the NT family that the program calls, looked up at start; all
// null on the 9x family, which has the ANSI ones only.
struct TWideApi {
    DWORD(WINAPI* getModuleFileNameW)(HMODULE, LPWSTR, DWORD);
    DWORD(WINAPI* getLongPathNameW)(LPCWSTR, LPWSTR, DWORD);
    DWORD(WINAPI* getPrivateProfileStringW)(LPCWSTR, LPCWSTR, LPCWSTR, LPWSTR, DWORD, LPCWSTR);
    BOOL(WINAPI* writePrivateProfileStringW)(LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR);
    HINSTANCE(WINAPI* shellExecuteW)(HWND, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, INT);
    DWORD(WINAPI* charUpperBuffW)(LPWSTR, DWORD);
    int(WINAPI* messageBoxW)(HWND, LPCWSTR, LPCWSTR, UINT);
    BOOL(WINAPI* shGetSpecialFolderPathW)(HWND, LPWSTR, int, BOOL);
    HANDLE(WINAPI* findFirstFileW)(LPCWSTR, WIN32_FIND_DATAW*);
    BOOL(WINAPI* findNextFileW)(HANDLE, WIN32_FIND_DATAW*);
    BOOL(WINAPI* deleteFileW)(LPCWSTR);
    HANDLE(WINAPI* createFileW)(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
    LONG(WINAPI* regOpenKeyExW)(HKEY, LPCWSTR, DWORD, REGSAM, PHKEY);
    LONG(WINAPI* regQueryValueExW)(HKEY, LPCWSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD);
    LONG(WINAPI* regDeleteValueW)(HKEY, LPCWSTR);
};
extern TWideApi WideApi;

// The names of the files, not folders, that match a pattern, hidden and system ones too: by
// their wide names on the NT family.
std::vector<TWide> ListFiles(const TWide& pattern);
bool DeleteFileWide(const TWide& path);  // false with the reason as the last error

// A file as it was, to put back: one that was not there is deleted again, one that could
// not be read is left as it is.
struct TFileSnapshot {
    TWide path;
    enum { Absent, Kept, Unread } state;
    std::string bytes;
};
TFileSnapshot SnapshotFile(const TWide& path);
bool RestoreFile(const TFileSnapshot& snapshot);

// The directory of the program's file, in its long form and ending in "\": from the wide
// module name on the NT family, where the ANSI one has '?' for what the code page lacks.
TWide ProgramDirectory();
TWide ProgramFileName();
TWide FileNameOf(const TWide& path);  // after the last "\" or ":"
TWide UpperCase(const TWide& text);
bool ForceForeground(HWND window);
void TrimWorkingSet();
bool IsXpOrLater();
void AddDropShadow(HWND window);

// A function of a loaded system module, looked up at run time: null where the system
// lacks it, so that the executable still loads on the systems that came before it.
template <class F>
void LookUpFunction(F& function, HMODULE module, const char* name) {
    function = module ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

// Calls that leave no trace under Wine go through here so that tests can watch them.
struct TSupportSeams {
    BOOL(WINAPI* setProcessWorkingSetSize)(HANDLE, SIZE_T, SIZE_T) = SetProcessWorkingSetSize;
};
extern TSupportSeams SupportSeams;
