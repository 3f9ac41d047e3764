#include "support.h"

#include "raii.h"

#include <cstring>

int PlatformId = 0;
bool FarEastLocale = false;
std::bitset<256> LeadBytes;
TSupportSeams SupportSeams;
TWideApi WideApi;

namespace {

constexpr LCID kEnglishUs = 0x409;
// Primary languages whose code pages are all single-byte: neutral, Danish, German,
// English, Spanish, Finnish, French, Italian, Dutch, Norwegian, Portuguese, Swedish.
constexpr DWORD kSingleByteLanguages = 0x20591EC1;
constexpr size_t kMaxPath = MAX_PATH;  // 260 characters, plus the NUL

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
        for (unsigned b = first; b <= last; ++b) LeadBytes.set(b);
    }
}

bool IsLead(char c) { return LeadBytes.test(static_cast<unsigned char>(c)); }

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

DWORD FileSearchMatch(TSearchRec& rec) {
    while (rec.findData.dwFileAttributes & rec.excludeMask) {
        if (!FindNextFileA(rec.findHandle, &rec.findData)) return GetLastError();
    }
    FILETIME local = {};
    WORD date = 0, time = 0;
    FileTimeToLocalFileTime(&rec.findData.ftLastWriteTime, &local);
    FileTimeToDosDateTime(&local, &date, &time);
    rec.dosTime = (static_cast<DWORD>(date) << 16) | time;
    rec.size = static_cast<int32_t>(rec.findData.nFileSizeLow);
    rec.attributes = rec.findData.dwFileAttributes;
    rec.name.assign(rec.findData.cFileName, strnlen(rec.findData.cFileName, kMaxPath));
    return 0;
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
}

// Empty when the file cannot be opened, with the reason as the last error.
unique_handle OpenFile(const TWide& path, DWORD access, DWORD disposition) {
    const DWORD share = access == GENERIC_READ ? FILE_SHARE_READ : 0;
    const HANDLE file = WideApi.createFileW
                            ? WideApi.createFileW(path.c_str(), access, share, nullptr, disposition, 0, nullptr)
                            : CreateFileA(Narrow(path).c_str(), access, share, nullptr, disposition, 0, nullptr);
    return unique_handle(file == INVALID_HANDLE_VALUE ? nullptr : file);
}

}  // namespace

void InitPlatformInfo() {
    bool ok = false;
    const OSVERSIONINFOA version = QueryVersion(ok);
    if (ok) PlatformId = static_cast<int>(version.dwPlatformId);
    WideApi = TWideApi{};
    if (PlatformId == VER_PLATFORM_NT) LookUpWideApi();

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

TParsedInt ParseInt(const char* text) {
    const char* p = text;
    while (*p == ' ') ++p;

    int hexPrefix = 0;
    if (*p == '$' || *p == 'x' || *p == 'X') hexPrefix = 1;
    else if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) hexPrefix = 2;

    if (hexPrefix) {
        p += hexPrefix;
        uint32_t value = 0;
        int significant = 0;
        bool anyDigit = false;
        for (int d; (d = HexDigit(*p)) >= 0; ++p) {
            if (significant > 0 || d != 0) ++significant;
            if (significant > 8) break;  // a ninth significant digit stops the parse
            value = value * 16 + static_cast<uint32_t>(d);
            anyDigit = true;
        }
        return {anyDigit && *p == '\0', static_cast<int32_t>(value)};
    }

    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    constexpr uint64_t kMaxMagnitude = 2147483648u;  // of -2147483648
    uint64_t magnitude = 0;
    bool anyDigit = false;
    for (; *p >= '0' && *p <= '9'; ++p) {
        const uint64_t next = magnitude * 10 + static_cast<uint64_t>(*p - '0');
        if (next > kMaxMagnitude) break;  // out of range stops the parse
        magnitude = next;
        anyDigit = true;
    }
    const bool inRange = negative ? magnitude <= kMaxMagnitude : magnitude < kMaxMagnitude;
    if (anyDigit && *p == '\0' && inRange) {
        return {true, negative ? static_cast<int32_t>(0u - static_cast<uint32_t>(magnitude))
                               : static_cast<int32_t>(magnitude)};
    }
    // Invalid: the digits read so far, without the sign, kept within the positive range.
    return {false, static_cast<int32_t>(magnitude < kMaxMagnitude ? magnitude : kMaxMagnitude - 1)};
}

int32_t ParseIntOr(const std::string& text, int32_t fallback) {
    const TParsedInt parsed = ParseInt(text.c_str());
    return parsed.valid ? parsed.value : fallback;
}

int32_t ParseIntLenient(const std::string& text) { return ParseInt(text.c_str()).value; }

std::string FormatInt(int32_t value) {
    char digits[12];
    char* end = digits + sizeof digits;
    char* p = end;
    uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
    do {
        *--p = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) *--p = '-';
    return std::string(p, end);
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

TSearchRec::~TSearchRec() { FileSearchClose(*this); }

DWORD FileSearchFirst(const std::string& pattern, DWORD wantedAttributes, TSearchRec& rec) {
    FileSearchClose(rec);  // a record reused without closing would leak its handle
    rec.excludeMask = ~wantedAttributes & (faHidden | faSysFile | faVolumeId | faDirectory);
    rec.findHandle = FindFirstFileA(pattern.c_str(), &rec.findData);
    if (rec.findHandle == INVALID_HANDLE_VALUE) return GetLastError();
    const DWORD code = FileSearchMatch(rec);
    if (code != 0) FileSearchClose(rec);
    return code;
}

DWORD FileSearchNext(TSearchRec& rec) {
    if (!FindNextFileA(rec.findHandle, &rec.findData)) return GetLastError();
    return FileSearchMatch(rec);
}

void FileSearchClose(TSearchRec& rec) {
    if (rec.findHandle == INVALID_HANDLE_VALUE) return;
    FindClose(rec.findHandle);
    rec.findHandle = INVALID_HANDLE_VALUE;
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

bool ForceForeground(HWND window) {
    if (GetForegroundWindow() == window) return true;

    const DWORD foregroundThread = GetWindowThreadProcessId(GetForegroundWindow(), nullptr);
    const DWORD windowThread = GetWindowThreadProcessId(window, nullptr);
    bool inFront = false;
    if (AttachThreadInput(windowThread, foregroundThread, TRUE)) {
        BringWindowToTop(window);
        SetForegroundWindow(window);
        AttachThreadInput(windowThread, foregroundThread, FALSE);
        inFront = GetForegroundWindow() == window;
    }
    if (!inFront) {
        // The foreground lock stops a background process from taking the foreground;
        // lifting it for a moment lets the menu's owner come to the front.
        DWORD lockTimeout = 0;
        SystemParametersInfoA(SPI_GETFOREGROUNDLOCKTIMEOUT, 0, &lockTimeout, 0);
        SystemParametersInfoA(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, nullptr, SPIF_SENDCHANGE);
        BringWindowToTop(window);
        SetForegroundWindow(window);
        SystemParametersInfoA(SPI_SETFOREGROUNDLOCKTIMEOUT, 0,
                              reinterpret_cast<void*>(static_cast<UINT_PTR>(lockTimeout)), SPIF_SENDCHANGE);
    }
    return GetForegroundWindow() == window;
}

void TrimWorkingSet() {
    if (PlatformId != VER_PLATFORM_NT) return;
    SupportSeams.setProcessWorkingSetSize(GetCurrentProcess(), static_cast<SIZE_T>(-1), static_cast<SIZE_T>(-1));
}

bool IsXpOrLater() {
    bool ok = false;
    const OSVERSIONINFOA version = QueryVersion(ok);
    if (!ok || version.dwPlatformId != VER_PLATFORM_WIN32_NT) return false;
    return version.dwMajorVersion > 5 || (version.dwMajorVersion == 5 && version.dwMinorVersion >= 1);
}

void AddDropShadow(HWND window) {
    constexpr DWORD kDropShadow = 0x00020000;  // CS_DROPSHADOW, XP and later
    if (!IsXpOrLater()) return;
    const DWORD style = GetClassLongA(window, GCL_STYLE);
    SetClassLongA(window, GCL_STYLE, static_cast<LONG>(style | kDropShadow));
}

std::vector<TWide> ListFiles(const TWide& pattern) {
    std::vector<TWide> names;
    if (!WideApi.findFirstFileW || !WideApi.findNextFileW) {
        TSearchRec rec;  // the ANSI search of the 9x family, directories left out
        for (DWORD code = FileSearchFirst(Narrow(pattern), faReadOnly | faHidden | faSysFile | faVolumeId | faArchive, rec);
             code == 0; code = FileSearchNext(rec)) {
            const TWide name = Widen(rec.name);
            names.push_back(name);
        }
        return names;
    }
    WIN32_FIND_DATAW data;
    HANDLE find = WideApi.findFirstFileW(pattern.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    const ScopeExit close([find] { FindClose(find); });
    do {
        const TWide name(data.cFileName, wcsnlen(data.cFileName, MAX_PATH));
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(name);
    } while (WideApi.findNextFileW(find, &data));
    return names;
}

bool DeleteFileWide(const TWide& path) {
    return (WideApi.deleteFileW ? WideApi.deleteFileW(path.c_str()) : DeleteFileA(Narrow(path).c_str())) != 0;
}

TFileSnapshot SnapshotFile(const TWide& path) {
    const unique_handle file = OpenFile(path, GENERIC_READ, OPEN_EXISTING);
    if (!file) return {path, GetLastError() == ERROR_FILE_NOT_FOUND ? TFileSnapshot::Absent : TFileSnapshot::Unread, {}};
    TFileSnapshot snapshot = {path, TFileSnapshot::Kept, std::string(GetFileSize(file.get(), nullptr), '\0')};
    DWORD read = 0;
    if (!snapshot.bytes.empty() && (!ReadFile(file.get(), &snapshot.bytes[0], snapshot.bytes.size(), &read, nullptr) ||
                                    read != snapshot.bytes.size())) {
        snapshot.state = TFileSnapshot::Unread;
    }
    return snapshot;
}

bool RestoreFile(const TFileSnapshot& snapshot) {
    if (snapshot.state == TFileSnapshot::Unread) return false;
    if (snapshot.state == TFileSnapshot::Absent) return DeleteFileWide(snapshot.path) || GetLastError() == ERROR_FILE_NOT_FOUND;
    const unique_handle file = OpenFile(snapshot.path, GENERIC_WRITE, CREATE_ALWAYS);
    DWORD written = 0;
    return file && (snapshot.bytes.empty() ||
                    (WriteFile(file.get(), snapshot.bytes.data(), snapshot.bytes.size(), &written, nullptr) &&
                     written == snapshot.bytes.size()));
}
