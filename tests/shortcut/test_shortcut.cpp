#include "testlib.h"

namespace {

// "This copy" need not exist: shortcuts store the path as given.
const TWide kThisCopy = L"C:\\Apps\\Tembix\\Tembix.exe", kOtherCopy = L"D:\\Old\\Tembix.exe";
const char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

// A shortcut's target as the link object reads it, or "not a link" when it refuses the file.
TWide ReadLink(const TWide& path) {
    const ComPtr<IShellLinkW> link = CreateComObject(CLSID_ShellLink).As<IShellLinkW>(IID_IShellLinkW);
    wchar_t target[MAX_PATH] = {};
    if (FAILED(link.As<IPersistFile>(IID_IPersistFile)->Load(path.c_str(), STGM_READ))) return L"not a link";
    link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH);
    return target;
}

void MakeLink(const TWide& path, const TWide& target, const char* arguments = "", DWORD attributes = 0) {
    REQUIRE(SUCCEEDED(CreateShellLink(path, "", target, arguments, L"", L"", 0, SW_SHOWNORMAL, 0)));
    if (attributes) REQUIRE(SetFileAttributesW(path.c_str(), attributes));
}

// What the Options dialog passes.
HRESULT InstallThisCopy() { return InstallStartupShortcut(kShortcutName, "", kThisCopy, "", L"C:\\Apps\\Tembix", kThisCopy, 0, 1, 0); }

// The Startup folder the shell names. Back to the prefix's own through its path: the shell
// keeps the last one it found, and would go on naming it.
void MoveStartupFolder(const TWide& folder, bool back = false) {
    SHSetValueW(HKEY_CURRENT_USER, Widen(kShellFolders).c_str(), L"Startup", REG_SZ, folder.c_str(), (folder.size() + 1) * 2);
    if (back) SHDeleteValueA(HKEY_CURRENT_USER, kShellFolders, "Startup"), GetStartupFolder();
}

}  // namespace

// In the prefix's own Startup folder, and in folders named in letters that the ANSI code page
// (1252 here) lacks: Cyrillic, and Polish, whose best fit names another folder.
TEST_CASE_FIXTURE(StartupFolder, "Install and remove go through every entry and match by the target's file name alone") {
    const TWide scratch = Widen(ScratchDir("startup")), lookalike = scratch + L"\\Lukasz-Startup\\";
    CreateDirectoryW(lookalike.c_str(), nullptr);
    const TWide prefixs = path;
    for (const TWide& folder : {prefixs, scratch + L"\\\u0410\u0432\u0442\u043E-Startup", scratch + L"\\\u0141ukasz-Startup"}) {
        CreateDirectoryW(folder.c_str(), nullptr);
        MoveStartupFolder(folder);
        REQUIRE((path = GetStartupFolder()) == (folder.back() == L'\\' ? folder : folder + L"\\"));
        // This copy's own Tembix.lnk stays as it is; one to another program, or this copy's
        // under "tembix.lnk", gives way to a new one. With z.lnk held open, so that it cannot
        // go, every file is put back whole and the reason returned.
        struct Variant {
            bool install;
            const wchar_t* name;
            TWide target;
            bool locked;
        };
        const Variant variants[] = {{true, L"Tembix.lnk", kThisCopy}, {true, L"Tembix.lnk", L"C:\\Tools\\other.exe"},
                                    {true, L"tembix.lnk", kThisCopy}, {false, L"Tembix.lnk", kThisCopy},
                                    {true, L"Tembix.lnk", kOtherCopy, true}, {false, L"Tembix.lnk", kThisCopy, true}};
        for (const Variant& v : variants) {
            CAPTURE(&v - variants);
            Empty();
            MakeLink(path + v.name, v.target, "/keep");
            for (const wchar_t* name : {L"a.lnk", L"m.lnk", L"z.lnk"}) MakeLink(path + name, kThisCopy);
            MakeLink(path + L"b.lnk", kOtherCopy);
            MakeLink(path + L"c.lnk", L"E:\\TEMBIX.EXE", "", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
            const std::pair<TWide, TWide> others[] = {  // none of them the program
                {L"d.lnk", L"C:\\windows\\notepad.exe"}, {L"e.lnk", L"C:\\Apps\\Tembix.exe.bak"}, {L"f.lnk", L"C:\\Apps\\MyTembix.exe"},
                {L"g.lnk", L"C:\\Tembix.exe\\Other.exe"}, {L"x.lnk\\inner.lnk", kThisCopy}};  // only the folder itself is searched
            REQUIRE(CreateDirectoryW((path + L"x.lnk").c_str(), nullptr));
            for (const auto& other : others) MakeLink(path + other.first, other.second);
            // Files named like shortcuts that are none: empty, and the longest head of a real shortcut
            // that the link object refuses (it has read the target by then: only the refusal tells).
            REQUIRE(WriteFileBytes(path + L"empty.lnk", ""));
            const std::string whole = ReadFileBytes(path + L"a.lnk"), kept = ReadFileBytes(path + v.name);
            size_t length = whole.size();
            do REQUIRE(WriteFileBytes(path + L"cut.lnk", whole.substr(0, --length)));
            while (ReadLink(path + L"cut.lnk") != L"not a link");
            std::map<std::wstring, std::string> before, after;
            for (const std::wstring& name : Contents()) before[name] = Whole(path + name.c_str());
            HANDLE lock = v.locked ? CreateFileW((path + L"z.lnk").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr) : nullptr;
            const HRESULT result = v.install ? InstallThisCopy() : RemoveStartupShortcuts(kProgramFileName);
            CloseHandle(lock);
            for (const std::wstring& name : Contents()) after[name] = Whole(path + name.c_str());
            CHECK((FAILED(result) == v.locked && (!v.locked || after == before)));
            if (v.locked) continue;
            Names expected = {L"empty.lnk", L"cut.lnk", L"d.lnk", L"e.lnk", L"f.lnk", L"g.lnk", L"x.lnk"};
            if (v.install) expected.insert(L"Tembix.lnk");
            CHECK((Contents() == expected && Contents(L"x.lnk\\") == Names{L"inner.lnk"} && FileNames(lookalike + L"*").empty()));
            CHECK((ReadFileBytes(path + L"Tembix.lnk") == kept) == (v.install && v.target == kThisCopy && *v.name == L'T'));
            CHECK((GetShellLinkTarget(path + L"Tembix.lnk") == (v.install ? kThisCopy : L"") && GetShellLinkTarget(path + L"cut.lnk").empty()));
            CHECK(IsStartupShortcutTo(kThisCopy) == v.install);
        }
        Empty();
    }
    MoveStartupFolder(path = prefixs, true);
}

TEST_CASE_FIXTURE(StartupFolder, "A link's target comes back unresolved for link paths of up to 260, none from a missing "
                                  "link; without a Startup folder nothing is searched, deleted or created") {
    const std::string scratch = ScratchDir("no-startup");
    const TWide dir = Widen(scratch);
    MakeLink(dir + L"\\a.lnk", L"C:\\Does Not\\Exist.exe");
    REQUIRE(CopyFileW((dir + L"\\a.lnk").c_str(), (dir + L"\\ab.lnk").c_str(), FALSE));
    for (const size_t length : {260u, 261u, 1023u}) {  // "." components stretch a path to any length
        std::wstring path = Str(dir) + L"\\";
        while (path.size() + 6 < length) path += L".\\";
        path += path.size() + 6 == length ? L"ab.lnk" : L"a.lnk";
        CHECK(GetShellLinkTarget(path) == (length <= 260 ? L"C:\\Does Not\\Exist.exe" : L""));
    }
    CHECK(GetShellLinkTarget(dir + L"\\absent.lnk").empty());
    MakeLink(dir + L"\\Old Tembix.lnk", kOtherCopy);  // what a search or save in the current directory would hit
    char previous[MAX_PATH + 1] = {};
    GetCurrentDirectoryA(sizeof previous, previous);
    SetCurrentDirectoryA(scratch.c_str());
    MoveStartupFolder(Widen(scratch + "\\missing"));
    CHECK(GetStartupFolder().empty());
    CHECK_FALSE(IsStartupShortcutTo(kThisCopy));
    CHECK(SUCCEEDED(RemoveStartupShortcuts(kProgramFileName)));
    CHECK(FAILED(InstallThisCopy()));  // said: no shortcut where one was asked for
    SetCurrentDirectoryA(previous);
    CHECK(FileNames(dir + L"\\*") == Names{L"a.lnk", L"ab.lnk", L"Old Tembix.lnk"});
    MoveStartupFolder(path, true);
}
