#include <doctest.h>

#include "helpers.h"
#include "shortcut/shortcut.h"
#include "support/raii.h"
#include "support/support.h"

#include <shlobj.h>
#include <cstdint>
#include <set>
#include <vector>

namespace {

constexpr char kShellFoldersKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
constexpr char kStartupValue[] = "Startup";

// "This copy" need not exist: shortcuts store the path as given.
const std::string kThisDir = "C:\\Apps\\Tembix\\";
const std::string kThisCopy = kThisDir + "Tembix.exe";
const std::string kOtherCopy = "D:\\Old\\Tembix.exe";
const std::string kOtherProgram = "C:\\windows\\notepad.exe";

using Names = std::set<std::string>;

// Points the current user's Startup folder elsewhere until destroyed; the shell reads
// the value on every lookup.
class StartupRedirect {
public:
    explicit StartupRedirect(const std::string& folder) {
        HKEY key = nullptr;
        RegCreateKeyExA(HKEY_CURRENT_USER, kShellFoldersKey, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr,
                        &key, nullptr);
        key_.reset(key);
        DWORD size = 0;
        hadValue_ = RegQueryValueExA(key, kStartupValue, nullptr, &savedType_, nullptr, &size) == ERROR_SUCCESS;
        saved_.resize(size);
        if (hadValue_ && size) RegQueryValueExA(key, kStartupValue, nullptr, &savedType_, saved_.data(), &size);
        Point(folder);
    }
    ~StartupRedirect() {
        if (hadValue_) {
            RegSetValueExA(key_.get(), kStartupValue, 0, savedType_, saved_.data(), static_cast<DWORD>(saved_.size()));
        } else {
            RegDeleteValueA(key_.get(), kStartupValue);
        }
    }
    StartupRedirect(const StartupRedirect&) = delete;
    StartupRedirect& operator=(const StartupRedirect&) = delete;

    void Point(const std::string& folder) {
        RegSetValueExA(key_.get(), kStartupValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                       static_cast<DWORD>(folder.size() + 1));
    }

private:
    unique_hkey key_;
    bool hadValue_ = false;
    DWORD savedType_ = 0;
    std::vector<BYTE> saved_;
};

// Sets the process's current directory until destroyed.
class CurrentDirectoryScope {
public:
    explicit CurrentDirectoryScope(const std::string& dir) {
        char previous[MAX_PATH + 1] = {};
        GetCurrentDirectoryA(sizeof previous, previous);
        previous_ = previous;
        SetCurrentDirectoryA(dir.c_str());
    }
    ~CurrentDirectoryScope() { SetCurrentDirectoryA(previous_.c_str()); }
    CurrentDirectoryScope(const CurrentDirectoryScope&) = delete;
    CurrentDirectoryScope& operator=(const CurrentDirectoryScope&) = delete;

private:
    std::string previous_;
};

// A scratch directory that the shell reports as the Startup folder.
struct StartupFixture {
    CoInitScope com;
    const std::string dir = ScratchDir("startup");
    const std::string folder = dir + "\\";
    StartupRedirect redirect{dir};

    StartupFixture() { REQUIRE(GetStartupFolder() == folder); }
    ~StartupFixture() { RemoveTree(dir); }

    void Clear() {
        RemoveTree(dir);
        CreateDirectoryA(dir.c_str(), nullptr);
    }
};

struct TLinkFields {
    std::string target;
    std::string arguments;
    std::string workingDirectory;
    std::string description;
    std::string iconPath;
    int iconIndex = -1;
    WORD hotKey = 0xFFFF;
};

// Reads a shortcut through the link object's own getters, independently of the code under test.
TLinkFields ReadLinkFields(const std::string& path) {
    ComPtr<IShellLinkA> link;
    CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, link.put_void());
    REQUIRE(link);
    const ComPtr<IPersistFile> file = link.As<IPersistFile>(IID_IPersistFile);
    REQUIRE(file);
    const std::wstring widePath(path.begin(), path.end());  // the tests use plain ASCII paths
    REQUIRE(SUCCEEDED(file->Load(widePath.c_str(), STGM_READ)));
    TLinkFields fields;
    char text[1024] = {};
    link->GetPath(text, sizeof text, nullptr, SLGP_RAWPATH);
    fields.target = text;
    link->GetArguments(text, sizeof text);
    fields.arguments = text;
    link->GetWorkingDirectory(text, sizeof text);
    fields.workingDirectory = text;
    link->GetDescription(text, sizeof text);
    fields.description = text;
    link->GetIconLocation(text, sizeof text, &fields.iconIndex);
    fields.iconPath = text;
    link->GetHotkey(&fields.hotKey);
    return fields;
}

struct TRawLoad {
    bool loaded;
    std::string path;  // what the object reports afterwards, whether or not it loaded
};
TRawLoad LoadRaw(const std::string& path) {
    ComPtr<IShellLinkA> link;
    CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, link.put_void());
    const ComPtr<IPersistFile> file = link.As<IPersistFile>(IID_IPersistFile);
    REQUIRE(file);
    const std::wstring widePath(path.begin(), path.end());
    const bool loaded = SUCCEEDED(file->Load(widePath.c_str(), STGM_READ));
    char text[MAX_PATH + 1] = {};
    link->GetPath(text, sizeof text, nullptr, SLGP_RAWPATH);
    return {loaded, text};
}

// The link object does not give the show command back after Load, so it is read from
// the file's fixed header (a 32-bit field at offset 0x3C).
int StoredShowCommand(const std::string& path) {
    const std::string bytes = ReadFileBytes(path);
    REQUIRE(bytes.size() >= 0x40);
    return static_cast<int>(static_cast<unsigned char>(bytes[0x3C]) | static_cast<unsigned char>(bytes[0x3D]) << 8);
}

void MakeLink(const std::string& path, const std::string& target, const std::string& arguments = "") {
    CreateShellLink(path, "", target, arguments, "", "", 0, SW_SHOWNORMAL, 0);
    REQUIRE(ReadLinkFields(path).target == target);
}

void SetAttributes(const std::string& path, DWORD attributes) {
    REQUIRE(SetFileAttributesA(path.c_str(), attributes));
    REQUIRE((GetFileAttributesA(path.c_str()) & attributes) == attributes);
}

// What the Options dialog passes.
void InstallThisCopy() {
    InstallStartupShortcut(kShortcutName, "", kThisCopy, "", WithoutTrailingBackslash(kThisDir), kThisCopy, 0,
                           SW_SHOWNORMAL, 0);
}

Names NamesIn(const std::string& dir) {
    Names names;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((dir + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        const std::string name = data.cFileName;
        if (name != "." && name != "..") names.insert(name);
    } while (FindNextFileA(find, &data));
    FindClose(find);
    return names;
}

uint64_t WriteTimeOf(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data);
    return (uint64_t(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
}

// Moves the file's write time far into the past, so that any rewrite shows.
void AgeFile(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    REQUIRE(file != INVALID_HANDLE_VALUE);
    const SYSTEMTIME old = {2001, 1, 1, 1, 12, 0, 0, 0};
    FILETIME time = {};
    SystemTimeToFileTime(&old, &time);
    SetFileTime(file, nullptr, nullptr, &time);
    CloseHandle(file);
}

// The bytes and the write time of a file, to show that nothing rewrote it.
struct TFileState {
    std::string bytes;
    uint64_t writeTime;
    bool operator==(const TFileState& other) const { return bytes == other.bytes && writeTime == other.writeTime; }
};
TFileState StateOf(const std::string& path) { return {ReadFileBytes(path), WriteTimeOf(path)}; }

std::string PseudoRandomBytes(size_t count) {
    std::string bytes(count, '\0');
    uint32_t state = 0x2545F491;
    for (char& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<char>(state >> 24);
    }
    return bytes;
}

// Files named like shortcuts that are none; the cut ones are heads of a real shortcut to
// this copy. "cut-tail.lnk" is the longest head that Load refuses: the link object has
// read the target out of it by then, so only the failed Load tells it from a shortcut.
const char* const kBadShortcuts[] = {"empty.lnk", "random.lnk", "cut-header.lnk", "cut-tail.lnk"};

void PlaceBadShortcuts(const std::string& folder) {
    REQUIRE(WriteFileBytes(folder + "empty.lnk", ""));
    REQUIRE(WriteFileBytes(folder + "random.lnk", PseudoRandomBytes(512)));
    MakeLink(folder + "whole.lnk", kThisCopy);
    const std::string whole = ReadFileBytes(folder + "whole.lnk");
    REQUIRE(whole.size() > 76);
    REQUIRE(WriteFileBytes(folder + "cut-header.lnk", whole.substr(0, 40)));
    for (size_t length = whole.size() - 1;; --length) {
        REQUIRE(length > 76);
        REQUIRE(WriteFileBytes(folder + "cut-tail.lnk", whole.substr(0, length)));
        if (!LoadRaw(folder + "cut-tail.lnk").loaded) break;
    }
    REQUIRE(DeleteFileA((folder + "whole.lnk").c_str()));
}

Names BadShortcutNames() { return Names(std::begin(kBadShortcuts), std::end(kBadShortcuts)); }

Names Union(Names a, const Names& b) {
    a.insert(b.begin(), b.end());
    return a;
}

}  // namespace

TEST_CASE("CreateComObject gives the object, or nothing for a class that does not exist") {
    CoInitScope com;
    const ComPtr<IUnknown> link = CreateComObject(CLSID_ShellLink);
    REQUIRE(link);
    CHECK(link.As<IShellLinkA>(IID_IShellLinkA));
    CHECK(link.As<IPersistFile>(IID_IPersistFile));
    const CLSID unknown = {0x1f2e3d4c, 0x5b6a, 0x4978, {0x86, 0x95, 0xa4, 0xb3, 0xc2, 0xd1, 0xe0, 0xff}};
    CHECK_FALSE(CreateComObject(unknown));
}

TEST_CASE_FIXTURE(StartupFixture, "The Startup folder is the shell's, with exactly one trailing backslash") {
    CHECK(GetSpecialFolderPath(CSIDL_STARTUP) == folder);
    redirect.Point(folder);  // the shell keeps a backslash that the setting ends in
    CHECK(GetStartupFolder() == folder);
}

TEST_CASE("CreateShellLink stores the fields given; GetShellLinkTarget reads the target back unresolved") {
    CoInitScope com;
    const std::string dir = ScratchDir("links");
    struct Row {
        const char* name;
        const char* target;  // none of these but notepad exists
        const char* arguments;
        const char* workingDirectory;
        const char* description;
        const char* iconPath;
        int iconIndex;
        int showCommand;
        WORD hotKey;
    };
    const Row rows[] = {
        {"full.lnk", "C:\\Apps\\Tembix\\Tembix.exe", "/r", "C:\\Apps\\Tembix", "Load monitor",
         "C:\\Apps\\Tembix\\Tembix.exe", 3, SW_SHOWMINNOACTIVE, MAKEWORD('T', HOTKEYF_CONTROL | HOTKEYF_ALT)},
        {"minimal.lnk", "C:\\Does Not Exist\\Some Program.exe", "", "", "", "", 0, SW_SHOWNORMAL, 0},
    };
    for (const Row& row : rows) {
        CAPTURE(row.name);
        const std::string path = dir + "\\" + row.name;
        CreateShellLink(path, row.description, row.target, row.arguments, row.workingDirectory, row.iconPath,
                        row.iconIndex, row.showCommand, row.hotKey);
        CHECK(GetShellLinkTarget(path) == row.target);
        const TLinkFields fields = ReadLinkFields(path);
        CHECK(fields.arguments == row.arguments);
        CHECK(fields.workingDirectory == row.workingDirectory);
        CHECK(fields.description == row.description);
        CHECK(fields.iconPath == row.iconPath);
        if (*row.iconPath) CHECK(fields.iconIndex == row.iconIndex);
        CHECK(StoredShowCommand(path) == row.showCommand);
        CHECK(fields.hotKey == row.hotKey);
    }
    // An existing file is overwritten whole.
    CreateShellLink(dir + "\\full.lnk", "", kOtherProgram, "", "", "", 0, SW_SHOWNORMAL, 0);
    CHECK(GetShellLinkTarget(dir + "\\full.lnk") == kOtherProgram);
    CHECK(ReadLinkFields(dir + "\\full.lnk").arguments == "");
    CHECK(GetShellLinkTarget(dir + "\\absent.lnk") == "");
    RemoveTree(dir);
}

TEST_CASE("GetShellLinkTarget reads link paths of up to 260 characters, and none longer") {
    CoInitScope com;
    const std::string dir = ScratchDir("long-paths");
    MakeLink(dir + "\\x.lnk", kThisCopy);
    MakeLink(dir + "\\xy.lnk", kThisCopy);
    // "." components stretch the path to any length while it still names the same file.
    const auto pathOfLength = [&](size_t length) {
        for (const std::string name : {"x.lnk", "xy.lnk"}) {
            const size_t fixed = dir.size() + 1 + name.size();
            if (length < fixed || (length - fixed) % 2 != 0) continue;
            std::string path = dir + "\\";
            for (size_t i = 0; i < (length - fixed) / 2; ++i) path += ".\\";
            return path + name;
        }
        return std::string();
    };
    struct Row {
        size_t length;
        std::string expected;
    };
    // The link object itself loads through paths of any length; the longest would run far
    // past a 261-byte field.
    const Row rows[] = {{260, kThisCopy}, {261, ""}, {4000, ""}};
    for (const Row& row : rows) {
        CAPTURE(row.length);
        const std::string path = pathOfLength(row.length);
        REQUIRE(path.size() == row.length);
        CHECK(GetShellLinkTarget(path) == row.expected);
    }
    RemoveTree(dir);
}

TEST_CASE_FIXTURE(StartupFixture, "A shortcut counts as the program's by its target's file name alone") {
    struct Row {
        const char* name;
        std::string target;
        DWORD attributes;
        bool counts;
    };
    const Row rows[] = {
        {"Tembix.lnk", kThisCopy, FILE_ATTRIBUTE_ARCHIVE, true},
        {"Other name.lnk", kThisCopy, FILE_ATTRIBUTE_ARCHIVE, true},
        {"Tembix.lnk", kOtherCopy, FILE_ATTRIBUTE_ARCHIVE, true},
        {"a.lnk", "C:\\Apps\\TEMBIX.EXE", FILE_ATTRIBUTE_ARCHIVE, true},
        {"a.lnk", "C:\\Apps\\tembix.exe", FILE_ATTRIBUTE_ARCHIVE, true},
        {"Hidden.lnk", kThisCopy, FILE_ATTRIBUTE_HIDDEN, true},
        {"System.lnk", kOtherCopy, FILE_ATTRIBUTE_SYSTEM, true},
        {"Both.lnk", kThisCopy, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM, true},
        {"Tembix.lnk", "C:\\Apps\\Tembix.exe.bak", FILE_ATTRIBUTE_ARCHIVE, false},
        {"Tembix.lnk", "C:\\Apps\\MyTembix.exe", FILE_ATTRIBUTE_ARCHIVE, false},
        {"Tembix.lnk", "C:\\Apps\\Tembix.ex", FILE_ATTRIBUTE_ARCHIVE, false},
        {"Tembix.lnk", "C:\\Tembix.exe\\Other.exe", FILE_ATTRIBUTE_ARCHIVE, false},
        {"Tembix.lnk", kOtherProgram, FILE_ATTRIBUTE_ARCHIVE, false},
    };
    for (const Row& row : rows) {
        CAPTURE(row.name);
        CAPTURE(row.target);
        Clear();
        const std::string path = folder + row.name;
        MakeLink(path, row.target);
        SetAttributes(path, row.attributes);
        MakeLink(folder + "Bystander.lnk", kOtherProgram);
        CHECK(IsStartupShortcutPresent(kProgramFileName) == row.counts);
        CHECK(IsStartupShortcutPresent("TEMBIX.EXE") == row.counts);

        RemoveStartupShortcuts(kProgramFileName);
        CHECK(FileExists(path) == !row.counts);
        CHECK(FileExists(folder + "Bystander.lnk"));
        CHECK_FALSE(IsStartupShortcutPresent(kProgramFileName));
    }
}

TEST_CASE_FIXTURE(StartupFixture, "InstallStartupShortcut keeps exactly one shortcut to this copy, named Tembix.lnk") {
    const std::string tembixLnk = folder + kShortcutName;

    SUBCASE("this copy's Tembix.lnk is present and stays as it is") {
        for (const std::string& target :
             {kThisCopy, UpperCaseAnsi(kThisCopy), std::string("c:\\apps\\tembix\\tembix.exe")}) {
            CAPTURE(target);
            Clear();
            MakeLink(tembixLnk, target, "/keep");
            AgeFile(tembixLnk);
            const TFileState before = StateOf(tembixLnk);
            CHECK(IsStartupShortcutPresent(kProgramFileName));
            InstallThisCopy();
            CHECK(NamesIn(dir) == Names{kShortcutName});
            CHECK(StateOf(tembixLnk) == before);
            CHECK(ReadLinkFields(tembixLnk).arguments == "/keep");
        }
    }
    SUBCASE("a shortcut to this copy under another name, or in another case, gives way to Tembix.lnk") {
        for (const char* name : {"Startup Tembix.lnk", "tembix.lnk", "TEMBIX.LNK", "Tembix.LNK"}) {
            CAPTURE(name);
            Clear();
            MakeLink(folder + name, kThisCopy, "/old");
            InstallThisCopy();
            CHECK(NamesIn(dir) == Names{kShortcutName});  // compared case-sensitively
            const TLinkFields fields = ReadLinkFields(tembixLnk);
            CHECK(fields.target == kThisCopy);
            CHECK(fields.arguments == "");
        }
    }
    SUBCASE("Tembix.lnk to another copy counts as present and is replaced by one to this copy") {
        MakeLink(tembixLnk, kOtherCopy, "/old");
        CHECK(IsStartupShortcutPresent(kProgramFileName));
        InstallThisCopy();
        CHECK(NamesIn(dir) == Names{kShortcutName});
        const TLinkFields fields = ReadLinkFields(tembixLnk);
        CHECK(fields.target == kThisCopy);
        CHECK(fields.arguments == "");
        CHECK(fields.workingDirectory == "C:\\Apps\\Tembix");
    }
    SUBCASE("Tembix.lnk to another program is left by the scan, then overwritten") {
        MakeLink(tembixLnk, kOtherProgram, "/other");
        CHECK_FALSE(IsStartupShortcutPresent(kProgramFileName));
        InstallThisCopy();
        CHECK(NamesIn(dir) == Names{kShortcutName});
        CHECK(ReadLinkFields(tembixLnk).target == kThisCopy);
        CHECK(ReadLinkFields(tembixLnk).arguments == "");
    }
    SUBCASE("a crowded folder: the scan goes on past the match and past each deletion") {
        MakeLink(tembixLnk, kThisCopy, "/keep");
        AgeFile(tembixLnk);
        for (const char* name : {"a.lnk", "m.lnk", "z.lnk"}) MakeLink(folder + name, kThisCopy);
        MakeLink(folder + "b.lnk", kOtherCopy);
        MakeLink(folder + "c.lnk", "E:\\TEMBIX.EXE");
        SetAttributes(folder + "c.lnk", FILE_ATTRIBUTE_HIDDEN);
        MakeLink(folder + "s.lnk", kThisCopy);
        SetAttributes(folder + "s.lnk", FILE_ATTRIBUTE_SYSTEM);
        MakeLink(folder + "d.lnk", kOtherProgram);
        MakeLink(folder + "e.lnk", "C:\\Apps\\Tembix.exe.bak");
        PlaceBadShortcuts(folder);
        REQUIRE(CreateDirectoryA((folder + "x.lnk").c_str(), nullptr));
        REQUIRE(WriteFileBytes(folder + "notes.txt", "x"));
        const TFileState before = StateOf(tembixLnk);

        InstallThisCopy();
        CHECK(NamesIn(dir) == Union(BadShortcutNames(), {kShortcutName, "d.lnk", "e.lnk", "x.lnk", "notes.txt"}));
        CHECK(StateOf(tembixLnk) == before);
    }
}

TEST_CASE_FIXTURE(StartupFixture, "RemoveStartupShortcuts deletes every shortcut to the program and nothing else") {
    MakeLink(folder + kShortcutName, kThisCopy);
    MakeLink(folder + "a.lnk", kOtherCopy);
    MakeLink(folder + "B.LNK", "c:\\x\\TEMBIX.EXE");
    MakeLink(folder + "h.lnk", kThisCopy);
    SetAttributes(folder + "h.lnk", FILE_ATTRIBUTE_HIDDEN);
    MakeLink(folder + "s.lnk", kOtherCopy);
    SetAttributes(folder + "s.lnk", FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_HIDDEN);
    MakeLink(folder + "d.lnk", kOtherProgram);
    MakeLink(folder + "e.lnk", "C:\\Apps\\Tembix.exe.bak");
    MakeLink(folder + "Tembix.exe.lnk", kOtherProgram);
    PlaceBadShortcuts(folder);
    REQUIRE(CreateDirectoryA((folder + "x.lnk").c_str(), nullptr));
    MakeLink(folder + "x.lnk\\inner.lnk", kThisCopy);  // only the folder itself is searched

    RemoveStartupShortcuts(kProgramFileName);
    CHECK(NamesIn(dir) == Union(BadShortcutNames(), {"d.lnk", "e.lnk", "Tembix.exe.lnk", "x.lnk"}));
    CHECK(NamesIn(folder + "x.lnk") == Names{"inner.lnk"});
    CHECK_FALSE(IsStartupShortcutPresent(kProgramFileName));
}

TEST_CASE_FIXTURE(StartupFixture, "Files named .lnk that are not shortcuts never match and are never deleted") {
    SUBCASE("the link object reports a target for the cut tail although Load failed") {
        PlaceBadShortcuts(folder);
        // Without this the cut-tail row would not show that a failed Load is heeded.
        CHECK(LoadRaw(folder + "cut-tail.lnk").path == kThisCopy);
    }
    for (const char* name : kBadShortcuts) {
        CAPTURE(name);
        Clear();
        PlaceBadShortcuts(folder);
        for (const char* other : kBadShortcuts) {
            if (std::string(other) != name) DeleteFileA((folder + other).c_str());
        }
        const std::string path = folder + name;
        const TFileState before = StateOf(path);

        CHECK(GetShellLinkTarget(path) == "");
        CHECK_FALSE(IsStartupShortcutPresent(kProgramFileName));
        RemoveStartupShortcuts(kProgramFileName);
        CHECK(StateOf(path) == before);
        InstallThisCopy();
        CHECK(StateOf(path) == before);
        CHECK(NamesIn(dir) == Names{name, kShortcutName});
        CHECK(ReadLinkFields(folder + kShortcutName).target == kThisCopy);
    }
}

TEST_CASE("Without a Startup folder nothing is searched, deleted or created") {
    CoInitScope com;
    const std::string dir = ScratchDir("no-startup");
    const std::string missing = dir + "\\missing";
    const std::string cwd = dir + "\\cwd";
    REQUIRE(CreateDirectoryA(cwd.c_str(), nullptr));
    // A search or save relative to the current directory would find or hit these.
    MakeLink(cwd + "\\Old Tembix.lnk", kThisCopy);
    MakeLink(cwd + "\\Other copy.lnk", kOtherCopy);
    const Names before = NamesIn(cwd);
    {
        StartupRedirect redirect(missing);
        CurrentDirectoryScope inside(cwd);

        CHECK(GetStartupFolder() == "");
        CHECK(GetSpecialFolderPath(CSIDL_STARTUP) == "");
        CHECK_FALSE(IsStartupShortcutPresent(kProgramFileName));
        RemoveStartupShortcuts(kProgramFileName);
        CHECK(NamesIn(cwd) == before);
        InstallThisCopy();
        CHECK(NamesIn(cwd) == before);
    }
    CHECK_FALSE(FileExists(missing));
    CHECK(NamesIn(dir) == Names{"cwd"});
    RemoveTree(dir);
}
