#include "testlib.h"

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
    Names Files(const std::string& in = "") const {
        Names names;
        for (const auto& file : Listing(folder + in + "*")) names.insert(file.first);
        return names;
    }
};

// A shortcut's target as the link object reads it, or "not a link" when it refuses the file.
std::string ReadLink(const std::string& path) {
    const ComPtr<IShellLinkA> link = CreateComObject(CLSID_ShellLink).As<IShellLinkA>(IID_IShellLinkA);
    char target[MAX_PATH] = {};
    if (FAILED(link.As<IPersistFile>(IID_IPersistFile)->Load(Widen(path).c_str(), STGM_READ))) return "not a link";
    link->GetPath(target, sizeof target, nullptr, SLGP_RAWPATH);
    return target;
}

void MakeLink(const std::string& path, const std::string& target, const std::string& arguments = "", DWORD attributes = 0) {
    CreateShellLink(path, "", Widen(target), arguments, L"", L"", 0, SW_SHOWNORMAL, 0);
    if (attributes) REQUIRE(SetFileAttributesA(path.c_str(), attributes));
}

// What the Options dialog passes.
void InstallThisCopy() { InstallStartupShortcut(kShortcutName, "", Widen(kThisCopy), "", L"C:\\Apps\\Tembix", Widen(kThisCopy), 0, 1, 0); }

}  // namespace

TEST_CASE("A link's target comes back unresolved, for link paths of up to 260; none from a missing link") {
    CoInitScope com;
    const std::string dir = ScratchDir("links");
    MakeLink(dir + "\\a.lnk", "C:\\Does Not\\Exist.exe");
    REQUIRE(CopyFileA((dir + "\\a.lnk").c_str(), (dir + "\\ab.lnk").c_str(), FALSE));
    for (const size_t length : {260u, 261u, 4000u}) {  // "." components stretch a path to any length
        std::string path = dir + "\\";
        while (path.size() + 6 < length) path += ".\\";
        path += path.size() + 6 == length ? "ab.lnk" : "a.lnk";
        CHECK(GetShellLinkTarget(path) == (length <= 260 ? L"C:\\Does Not\\Exist.exe" : L""));
    }
    CHECK(GetShellLinkTarget(dir + "\\absent.lnk").empty());
    CHECK_FALSE(CreateComObject({0x1f2e3d4c, 0x5b6a, 0x4978, {0x86, 0x95, 0xa4, 0xb3, 0xc2, 0xd1, 0xe0, 0xff}}));
}

TEST_CASE_FIXTURE(StartupFixture, "Install and remove go through every entry and match by the target's file name alone") {
    Point(folder);  // the shell keeps a backslash that the setting ends in
    CHECK(GetSpecialFolderPath(CSIDL_STARTUP) == folder);
    for (const bool install : {true, false}) {
        CAPTURE(install);
        RemoveTree(dir);
        CreateDirectoryA(dir.c_str(), nullptr);
        MakeLink(folder + kShortcutName, kThisCopy, "/keep");
        for (const char* name : {"a.lnk", "m.lnk", "z.lnk"}) MakeLink(folder + name, kThisCopy);
        MakeLink(folder + "b.lnk", kOtherCopy);
        MakeLink(folder + "c.lnk", "E:\\TEMBIX.EXE", "", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
        const std::pair<std::string, std::string> others[] = {  // none of them the program
            {"d.lnk", kOtherProgram}, {"e.lnk", "C:\\Apps\\Tembix.exe.bak"}, {"f.lnk", "C:\\Apps\\MyTembix.exe"},
            {"g.lnk", "C:\\Tembix.exe\\Other.exe"}, {"x.lnk\\inner.lnk", kThisCopy}};  // only the folder itself is searched
        REQUIRE(CreateDirectoryA((folder + "x.lnk").c_str(), nullptr));
        for (const auto& other : others) MakeLink(folder + other.first, other.second);
        // Files named like shortcuts that are none: empty, and the longest head of a real shortcut
        // that the link object refuses (it has read the target by then: only the refusal tells).
        REQUIRE(WriteFileBytes(folder + "empty.lnk", ""));
        const std::string whole = ReadFileBytes(folder + "a.lnk"), kept = ReadFileBytes(folder + kShortcutName);
        size_t length = whole.size();
        do REQUIRE(WriteFileBytes(folder + "cut.lnk", whole.substr(0, --length)));
        while (ReadLink(folder + "cut.lnk") != "not a link");
        if (install) InstallThisCopy();
        else RemoveStartupShortcuts(kProgramFileName);
        Names expected = {"empty.lnk", "cut.lnk", "d.lnk", "e.lnk", "f.lnk", "g.lnk", "x.lnk"};
        if (install) expected.insert(kShortcutName);
        CHECK((Files() == expected && Files("x.lnk\\") == Names{"inner.lnk"}));
        CHECK((ReadFileBytes(folder + kShortcutName) == kept) == install);  // this copy's own shortcut left as it is
        CHECK((IsStartupShortcutPresent("TEMBIX.EXE") == install && GetShellLinkTarget(folder + "cut.lnk").empty()));
    }
}

TEST_CASE_FIXTURE(StartupFixture, "Install replaces any other shortcut with one to this copy, named Tembix.lnk") {
    const std::pair<const char*, std::string> rows[] = {
        {"Startup Tembix.lnk", kThisCopy}, {"TEMBIX.LNK", kThisCopy},  // names compare with their case
        {"Tembix.lnk", kOtherCopy}, {"Tembix.lnk", kOtherProgram},
    };
    for (const auto& row : rows) {
        CAPTURE(std::string(row.first));
        RemoveTree(dir);
        CreateDirectoryA(dir.c_str(), nullptr);
        MakeLink(folder + row.first, row.second, "/old");
        InstallThisCopy();
        CHECK((Files() == Names{kShortcutName} && ReadLink(folder + kShortcutName) == kThisCopy));
    }
}

TEST_CASE_FIXTURE(StartupFixture, "Without a Startup folder nothing is searched, deleted or created") {
    MakeLink(folder + "Old Tembix.lnk", kOtherCopy);  // what a search or save in the current directory would hit
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
