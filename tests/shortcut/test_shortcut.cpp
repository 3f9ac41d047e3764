#include "testlib.h"

namespace {

// "This copy" need not exist: shortcuts store the path as given.
const std::string kThisCopy = "C:\\Apps\\Tembix\\Tembix.exe", kOtherCopy = "D:\\Old\\Tembix.exe";
using Names = std::set<std::string>;
const char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

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

TEST_CASE_FIXTURE(StartupFolder, "Install and remove go through every entry and match by the target's file name alone") {
    for (const bool install : {true, false}) {
        CAPTURE(install);
        Empty();
        MakeLink(path + kShortcutName, kThisCopy, "/keep");
        for (const char* name : {"a.lnk", "m.lnk", "z.lnk"}) MakeLink(path + name, kThisCopy);
        MakeLink(path + "b.lnk", kOtherCopy);
        MakeLink(path + "c.lnk", "E:\\TEMBIX.EXE", "", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
        const std::pair<std::string, std::string> others[] = {  // none of them the program
            {"d.lnk", "C:\\windows\\notepad.exe"}, {"e.lnk", "C:\\Apps\\Tembix.exe.bak"}, {"f.lnk", "C:\\Apps\\MyTembix.exe"},
            {"g.lnk", "C:\\Tembix.exe\\Other.exe"}, {"x.lnk\\inner.lnk", kThisCopy}};  // only the folder itself is searched
        REQUIRE(CreateDirectoryA((path + "x.lnk").c_str(), nullptr));
        for (const auto& other : others) MakeLink(path + other.first, other.second);
        // Files named like shortcuts that are none: empty, and the longest head of a real shortcut
        // that the link object refuses (it has read the target by then: only the refusal tells).
        REQUIRE(WriteFileBytes(path + "empty.lnk", ""));
        const std::string whole = ReadFileBytes(path + "a.lnk"), kept = ReadFileBytes(path + kShortcutName);
        size_t length = whole.size();
        do REQUIRE(WriteFileBytes(path + "cut.lnk", whole.substr(0, --length)));
        while (ReadLink(path + "cut.lnk") != "not a link");
        if (install) InstallThisCopy();
        else RemoveStartupShortcuts(kProgramFileName);
        Names expected = {"empty.lnk", "cut.lnk", "d.lnk", "e.lnk", "f.lnk", "g.lnk", "x.lnk"};
        if (install) expected.insert(kShortcutName);
        CHECK((Contents() == expected && Contents("x.lnk\\") == Names{"inner.lnk"}));
        CHECK((ReadFileBytes(path + kShortcutName) == kept) == install);  // this copy's own shortcut left as it is
        CHECK((IsStartupShortcutPresent("TEMBIX.EXE") == install && GetShellLinkTarget(path + "cut.lnk").empty()));
    }
}

TEST_CASE_FIXTURE(StartupFolder, "Without a Startup folder nothing is searched, deleted or created") {
    const std::string scratch = ScratchDir("no-startup"), missing = scratch + "\\missing";
    MakeLink(scratch + "\\Old Tembix.lnk", kOtherCopy);  // what a search or save in the current directory would hit
    char previous[MAX_PATH + 1] = {};
    GetCurrentDirectoryA(sizeof previous, previous);
    SetCurrentDirectoryA(scratch.c_str());
    SHSetValueA(HKEY_CURRENT_USER, kShellFolders, "Startup", REG_SZ, missing.c_str(), missing.size() + 1);
    CHECK(GetStartupFolder() == "");
    CHECK_FALSE(IsStartupShortcutPresent(kProgramFileName));
    RemoveStartupShortcuts(kProgramFileName);
    InstallThisCopy();
    SetCurrentDirectoryA(previous);
    CHECK(Listing(scratch + "\\*").size() == 1);
    SHSetValueA(HKEY_CURRENT_USER, kShellFolders, "Startup", REG_SZ, path.c_str(), path.size() + 1);
    CHECK(GetStartupFolder() == path);  // the shell keeps a backslash that the setting ends in
    SHDeleteValueA(HKEY_CURRENT_USER, kShellFolders, "Startup");  // the default folder again
    CHECK(GetStartupFolder() == path);
}
