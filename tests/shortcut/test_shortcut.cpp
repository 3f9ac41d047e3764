#include <doctest.h>

#include "shortcut/shortcut.h"
#include "support/support.h"
#include "testlib.h"

#include <shlobj.h>
#include <set>

namespace {

// "This copy" need not exist: shortcuts store the path as given.
const std::string kThisCopy = "C:\\Apps\\Tembix\\Tembix.exe", kOtherCopy = "D:\\Old\\Tembix.exe";
const std::string kOtherProgram = "C:\\windows\\notepad.exe";
using Names = std::set<std::string>;

// Points the current user's Startup folder at a scratch directory until destroyed; the
// shell reads the setting on every lookup.
struct StartupFixture {
    CoInitScope com;
    const std::string dir = ScratchDir("startup"), folder = dir + "\\";
    unique_hkey key;
    BYTE saved[2 * MAX_PATH] = {};
    DWORD savedType = 0, savedSize = sizeof saved;
    StartupFixture() {
        HKEY opened = nullptr;
        RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
                        0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &opened, nullptr);
        key.reset(opened);
        REQUIRE(RegQueryValueExA(opened, "Startup", nullptr, &savedType, saved, &savedSize) == ERROR_SUCCESS);
        Point(dir);
        REQUIRE(GetStartupFolder() == folder);
    }
    ~StartupFixture() {
        RegSetValueExA(key.get(), "Startup", 0, savedType, saved, savedSize);
        RemoveTree(dir);
    }
    void Point(const std::string& path) {
        RegSetValueExA(key.get(), "Startup", 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()), path.size() + 1);
    }
    void Clear() {
        RemoveTree(dir);
        CreateDirectoryA(dir.c_str(), nullptr);
    }
    Names Files(const std::string& in = "") const {
        Names names;
        WIN32_FIND_DATAA data;
        HANDLE find = FindFirstFileA((folder + in + "*").c_str(), &data);
        for (BOOL more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileA(find, &data)) names.insert(data.cFileName);
        if (find != INVALID_HANDLE_VALUE) FindClose(find);
        names.erase(".");
        names.erase("..");
        return names;
    }
};

// A shortcut's fields, read through the link object's own getters: "target args" when brief.
std::string ReadLink(const std::string& path, bool brief = true) {
    ComPtr<IShellLinkA> link;
    CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, link.put_void());
    const std::wstring wide(path.begin(), path.end());  // the tests use plain ASCII paths
    if (FAILED(link.As<IPersistFile>(IID_IPersistFile)->Load(wide.c_str(), STGM_READ))) return "not a link";
    char target[MAX_PATH] = {}, arguments[MAX_PATH] = {}, directory[MAX_PATH] = {}, text[MAX_PATH] = {}, icon[MAX_PATH] = {};
    int index = 0;
    WORD hotKey = 0;
    link->GetPath(target, sizeof target, nullptr, SLGP_RAWPATH);
    link->GetArguments(arguments, sizeof arguments);
    if (brief) return std::string(target) + " " + arguments;
    link->GetWorkingDirectory(directory, sizeof directory);
    link->GetDescription(text, sizeof text);
    link->GetIconLocation(icon, sizeof icon, &index);
    link->GetHotkey(&hotKey);
    return std::string(target) + " " + arguments + " in " + directory + ", " + text + ", " + icon + "," +
           std::to_string(index) + ", key " + std::to_string(hotKey) + ", show " + std::to_string(ReadFileBytes(path)[0x3C]);
}

void MakeLink(const std::string& path, const std::string& target, const std::string& arguments = "", DWORD attributes = 0) {
    CreateShellLink(path, "", target, arguments, "", "", 0, SW_SHOWNORMAL, 0);
    REQUIRE(ReadLink(path) == target + " " + arguments);
    if (attributes) REQUIRE(SetFileAttributesA(path.c_str(), attributes));
}

// What the Options dialog passes.
void InstallThisCopy() { InstallStartupShortcut(kShortcutName, "", kThisCopy, "", "C:\\Apps\\Tembix", kThisCopy, 0, 1, 0); }

// Files named like shortcuts that are none: empty, noise, and two heads of a real shortcut to
// this copy, the longer one the longest that the link object refuses (it has read the target
// by then, so only the failed load tells it from a shortcut).
const Names kBadShortcuts = {"empty.lnk", "noise.lnk", "cut-header.lnk", "cut-tail.lnk"};
void PlaceBadShortcuts(const std::string& folder) {
    REQUIRE(WriteFileBytes(folder + "empty.lnk", ""));
    REQUIRE(WriteFileBytes(folder + "noise.lnk", std::string(300, 'Z') + std::string(200, '\x01')));
    MakeLink(folder + "whole.lnk", kThisCopy);
    const std::string whole = ReadFileBytes(folder + "whole.lnk");
    REQUIRE(DeleteFileA((folder + "whole.lnk").c_str()));
    REQUIRE(WriteFileBytes(folder + "cut-header.lnk", whole.substr(0, 40)));
    size_t length = whole.size();
    do REQUIRE(WriteFileBytes(folder + "cut-tail.lnk", whole.substr(0, --length)));
    while (ReadLink(folder + "cut-tail.lnk") != "not a link");
}

}  // namespace

TEST_CASE("Links store the fields given and give back their target unresolved, for paths of up to 260") {
    CoInitScope com;
    const std::string dir = ScratchDir("links");
    CreateShellLink(dir + "\\a.lnk", "Load monitor", kThisCopy, "/r", "C:\\Apps", kThisCopy, 3, SW_SHOWMINNOACTIVE, 0x254);
    CHECK(ReadLink(dir + "\\a.lnk", false) == kThisCopy + " /r in C:\\Apps, Load monitor, " + kThisCopy + ",3, key 596, show 7");
    CreateShellLink(dir + "\\a.lnk", "", "C:\\Does Not\\Exist.exe", "", "", "", 0, SW_SHOWNORMAL, 0);  // overwritten whole
    CHECK(ReadLink(dir + "\\a.lnk", false) == "C:\\Does Not\\Exist.exe  in , , ,0, key 0, show 1");
    CHECK(GetShellLinkTarget(dir + "\\absent.lnk") == "");
    CHECK_FALSE(CreateComObject({0x1f2e3d4c, 0x5b6a, 0x4978, {0x86, 0x95, 0xa4, 0xb3, 0xc2, 0xd1, 0xe0, 0xff}}));
    REQUIRE(CopyFileA((dir + "\\a.lnk").c_str(), (dir + "\\ab.lnk").c_str(), FALSE));
    for (const size_t length : {260u, 261u, 4000u}) {  // "." components stretch a path to any length
        std::string path = dir + "\\";
        while (path.size() + 6 < length) path += ".\\";
        path += path.size() + 6 == length ? "ab.lnk" : "a.lnk";
        REQUIRE(path.size() == length);
        CHECK(GetShellLinkTarget(path) == (length <= 260 ? "C:\\Does Not\\Exist.exe" : ""));
    }
}

TEST_CASE_FIXTURE(StartupFixture, "A shortcut counts as the program's by its target's file name alone") {
    Point(folder);  // the shell keeps a backslash that the setting ends in
    CHECK(GetSpecialFolderPath(CSIDL_STARTUP) == folder);
    struct Row {
        const char* name;
        std::string target;
        DWORD attributes;
        bool counts;
    };
    const Row rows[] = {
        {"Tembix.lnk", kThisCopy, 0, true},
        {"Other name.lnk", kOtherCopy, 0, true},
        {"a.lnk", "C:\\Apps\\tembix.EXE", FILE_ATTRIBUTE_HIDDEN, true},
        {"s.lnk", kOtherCopy, FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_HIDDEN, true},
        {"Tembix.lnk", "C:\\Apps\\Tembix.exe.bak", 0, false},
        {"Tembix.lnk", "C:\\Apps\\MyTembix.exe", 0, false},
        {"Tembix.lnk", "C:\\Tembix.exe\\Other.exe", 0, false},
        {"Tembix.exe.lnk", kOtherProgram, 0, false},
    };
    for (const Row& row : rows) {
        CAPTURE(row.target);
        Clear();
        MakeLink(folder + row.name, row.target, "", row.attributes);
        MakeLink(folder + "Bystander.lnk", kOtherProgram);
        CHECK(IsStartupShortcutPresent(kProgramFileName) == row.counts);
        CHECK(IsStartupShortcutPresent("TEMBIX.EXE") == row.counts);
        RemoveStartupShortcuts(kProgramFileName);
        CHECK(Files() == (row.counts ? Names{"Bystander.lnk"} : Names{row.name, "Bystander.lnk"}));
    }
}

TEST_CASE_FIXTURE(StartupFixture, "Install keeps exactly one shortcut to this copy, named Tembix.lnk") {
    const std::pair<const char*, std::string> rows[] = {
        {"Tembix.lnk", "c:\\apps\\tembix\\TEMBIX.EXE"},  // this copy: left as it is
        {"Startup Tembix.lnk", kThisCopy},
        {"TEMBIX.LNK", kThisCopy},   // names compare with their case
        {"Tembix.lnk", kOtherCopy},  // another copy
        {"Tembix.lnk", kOtherProgram},
    };
    for (const auto& row : rows) {
        CAPTURE(row.first);
        CAPTURE(row.second);
        Clear();
        MakeLink(folder + row.first, row.second, "/old");
        const std::string before = ReadFileBytes(folder + row.first);
        InstallThisCopy();
        CHECK(Files() == Names{kShortcutName});
        const bool kept = &row == &rows[0];
        CHECK(ReadLink(folder + kShortcutName) == (kept ? row.second + " /old" : kThisCopy + " "));
        CHECK((ReadFileBytes(folder + kShortcutName) == before) == kept);
    }
}

TEST_CASE_FIXTURE(StartupFixture, "A crowded folder: install and remove go through every entry, bad ones untouched") {
    for (const bool install : {true, false}) {
        CAPTURE(install);
        Clear();
        MakeLink(folder + kShortcutName, kThisCopy, "/keep");
        for (const char* name : {"a.lnk", "m.lnk", "z.lnk"}) MakeLink(folder + name, kThisCopy);
        MakeLink(folder + "b.lnk", kOtherCopy);
        MakeLink(folder + "c.lnk", "E:\\TEMBIX.EXE", "", FILE_ATTRIBUTE_HIDDEN);
        MakeLink(folder + "s.lnk", kThisCopy, "", FILE_ATTRIBUTE_SYSTEM);
        MakeLink(folder + "d.lnk", kOtherProgram);
        PlaceBadShortcuts(folder);
        REQUIRE(CreateDirectoryA((folder + "x.lnk").c_str(), nullptr));
        MakeLink(folder + "x.lnk\\inner.lnk", kThisCopy);  // only the folder itself is searched
        const std::string bad = ReadFileBytes(folder + "cut-tail.lnk");
        if (install) InstallThisCopy();
        else RemoveStartupShortcuts(kProgramFileName);
        Names expected = kBadShortcuts;
        expected.insert({"d.lnk", "x.lnk"});
        if (install) expected.insert(kShortcutName);
        CHECK(Files() == expected);
        CHECK(Files("x.lnk\\") == Names{"inner.lnk"});
        CHECK(ReadFileBytes(folder + "cut-tail.lnk") == bad);
        CHECK(IsStartupShortcutPresent(kProgramFileName) == install);
    }
    CHECK(ReadLink(folder + "cut-tail.lnk") == "not a link");
    for (const std::string& name : kBadShortcuts) CHECK(GetShellLinkTarget(folder + name) == "");
}

TEST_CASE_FIXTURE(StartupFixture, "Without a Startup folder nothing is searched, deleted or created") {
    // A search or save relative to the current directory would find or hit this.
    MakeLink(folder + "Old Tembix.lnk", kOtherCopy);
    char previous[MAX_PATH + 1] = {};
    GetCurrentDirectoryA(sizeof previous, previous);
    Point(dir + "\\missing");
    SetCurrentDirectoryA(dir.c_str());
    CHECK(GetStartupFolder() == "");
    CHECK_FALSE(IsStartupShortcutPresent(kProgramFileName));
    RemoveStartupShortcuts(kProgramFileName);
    InstallThisCopy();
    SetCurrentDirectoryA(previous);
    CHECK(Files() == Names{"Old Tembix.lnk"});
}
