#include "testlib.h"

TEST_CASE("The integer grammar: strict with a default, lenient, and back to text") {
    struct Row {
        const char* text;
        int32_t strict, lenient;  // ParseIntOr with the default 80, ParseIntLenient
    };
    const Row rows[] = {
        {"75", 75, 75},        {"  75", 75, 75},        {"75 ", 80, 75},       {"\t75", 80, 0},     {"+7", 7, 7},
        {"-7", -7, -7},        {"007", 7, 7},           {"$1F", 31, 31},       {"x1F", 31, 31},     {"X1f", 31, 31},
        {"0x1F", 31, 31},      {"0X1f", 31, 31},        {"-$1F", 80, 0},       {"+0x10", 80, 0},    {"", 80, 0},
        {"+", 80, 0},          {"$", 80, 0},            {"0x", 80, 0},         {"50%", 80, 50},     {"12a", 80, 12},
        {"-5a", 80, 5},        {"1e3", 80, 1},          {"$1G", 80, 1},        {"abc", 80, 0},      {"$FFFFFFFF", -1, -1},
        {"2147483647", INT32_MAX, INT32_MAX},           {"2147483648", 80, INT32_MAX},  {"-2147483648", INT32_MIN, INT32_MIN},
        {"$00000000FFFFFFFF", -1, -1},                  {"$100000000", 80, 0x10000000},
    };
    for (const Row& row : rows) {
        CAPTURE(std::string(row.text));
        CHECK(ParseIntOr(row.text, 80) == row.strict);
        CHECK(ParseIntLenient(row.text) == row.lenient);
    }
    for (int32_t value : {0, 7, -1, 100, INT32_MAX, INT32_MIN}) CHECK(ParseIntOr(FormatInt(value).c_str(), 12345) == value);
    CHECK(FormatInt(INT32_MIN) == "-2147483648");
}

// Text is never cut: one that does not fit is refused whole, left empty and too long, and
// stays so through every part taken, every join and every conversion, so that it can never
// pass for an empty (relative) path. In code page 932 here, where a character may take two bytes.
TEST_CASE("A text too long stays too long end to end; a text that fits, double-byte text included, goes through whole") {
    const TWide full(std::wstring(TWide::kCapacity, L'x')), over = full + L"y", fits = full.Left(TWide::kCapacity - 3);
    const std::function<TWide(const TWide&)> steps[] = {
        [](const TWide& t) { return t.Left(3); }, [](const TWide& t) { return t.From(1); }, [](const TWide& t) { return Widen(Narrow(t)); },
        [](const TWide& t) { return TWide(L"C:\\") + t; }, [](const TWide& t) { return TWide(TText<wchar_t, 4000>(t) + L"a"); },
        [](const TWide& t) { return FileNameOf(t); }, [](const TWide& t) { return UpperCase(t); }, [](const TWide& t) { return LongForm(t); },
    };
    for (const auto& step : steps) CHECK((step(over).TooLong() && step(over).empty() && !step(fits).TooLong()));
    CHECK((Widen(std::string(TAnsi::kCapacity, 'a')).TooLong() && Narrow(full).size() == TWide::kCapacity));
    // A folder whose ANSI name is longer than its count of characters, up to the capacity: "\u8868", 0x95 0x5C.
    const std::wstring widest = L"C:\\" + std::wstring(TWide::kCapacity - 3, L'\u8868');
    CHECK((Narrow(widest).size() == 3 + 2 * (TWide::kCapacity - 3) && Str(Widen(Narrow(widest))) == widest));
}

// The program runs here with ANSI code page 932, whose lead bytes include 0x81..0x9F: "表" is
// the two bytes 0x95 0x5C, a real trail-byte backslash.
TEST_CASE("Paths split at the last single-byte backslash or colon, in a single-byte and in a double-byte code page") {
    struct Row {
        const char *path, *directory, *fileName, *with, *without;  // the last two: trailing backslash added, removed
    };
    const std::vector<Row> singleByte = {
        {"C:\\A\\T.exe", "C:\\A\\", "T.exe", "C:\\A\\T.exe\\", "C:\\A\\T.exe"},
        {"C:T.exe", "C:", "T.exe", "C:T.exe\\", "C:T.exe"},
        {"T.exe", "", "T.exe", "T.exe\\", "T.exe"},
        {"C:\\A\\", "C:\\A\\", "", "C:\\A\\", "C:\\A"},
        {"", "", "", "\\", ""},
        {"\\\\s\\a:b", "\\\\s\\a:", "b", "\\\\s\\a:b\\", "\\\\s\\a:b"},
        {"C:\\D\\\x95\x5C", "C:\\D\\\x95\x5C", "", "C:\\D\\\x95\x5C", "C:\\D\\\x95"},  // one byte each: 0x5C is a backslash
    }, doubleByte = {
        {"C:\\D\\\x95\x5C", "C:\\D\\", "\x95\x5C", "C:\\D\\\x95\x5C\\", "C:\\D\\\x95\x5C"},
        {"C:\\\x81\x81\\x", "C:\\\x81\x81\\", "x", "C:\\\x81\x81\\x\\", "C:\\\x81\x81\\x"},
        {"\x81\x81\x81\\", "", "\x81\x81\x81\\", "\x81\x81\x81\\\\", "\x81\x81\x81\\"},  // a trail 0x5C
    };
    REQUIRE((GetACP() == 932 && FarEastLocale));
    for (int b : {0x81, 0x95, 0x9F, 0xE0, 0xFC}) CHECK(LeadBytes.test(b));
    for (int b : {0x00, 0x41, 0x5C, 0x80, 0xA0, 0xDF, 0xFD}) CHECK_FALSE(LeadBytes.test(b));
    const auto lead = LeadBytes;
    LeadBytes.reset();
    FarEastLocale = false;
    for (const auto& table : {singleByte, doubleByte}) {
        for (const Row& row : table) {
            CAPTURE(std::string(row.path));
            CHECK(DirectoryOf(row.path) == row.directory);
            CHECK(FileNameOf(row.path) == row.fileName);
            CHECK(WithTrailingBackslash(row.path) == row.with);
            CHECK(WithoutTrailingBackslash(row.path) == row.without);
        }
        FarEastLocale = true;
        LeadBytes = lead;
    }
    CHECK(ByteKindAt("a\x95", 2) == TByteKind::Lead);
    // A real directory named with the trail-byte backslash, through the platform's own paths.
    const std::string hyo = "\x95\x5C", dir = ScratchDir("dbcs"), sub = dir + "\\" + hyo;
    REQUIRE((CreateDirectoryA(sub.c_str(), nullptr) && WriteFileBytes(Widen(sub + "\\Tembix.exe"), "x")));
    const TAnsi longPath = LongPathName(sub + "\\Tembix.exe");
    CHECK((FileNameOf(longPath) == "Tembix.exe" && DirectoryOf(longPath) == WithTrailingBackslash(sub)));
    CHECK(FileNameOf(WithoutTrailingBackslash(DirectoryOf(longPath))) == hyo.c_str());
    TSearchRec rec;
    REQUIRE(FileSearchFirst(sub, faDirectory, rec) == 0);
    CHECK(rec.name == hyo.c_str());
}

TEST_CASE("The directory search applies the attribute mask and reports the end") {
    const std::string dir = ScratchDir("search");
    const std::pair<const char*, DWORD> files[] = {{"plain.lnk", 0}, {"hidden.lnk", FILE_ATTRIBUTE_HIDDEN},
                                                   {"system.lnk", FILE_ATTRIBUTE_SYSTEM}, {"readonly.lnk", FILE_ATTRIBUTE_READONLY}};
    for (const auto& file : files) {
        REQUIRE(WriteFileBytes(Widen(dir + "\\" + file.first), "x"));
        SetFileAttributesA((dir + "\\" + file.first).c_str(), file.second);
    }
    REQUIRE(CreateDirectoryA((dir + "\\x.lnk").c_str(), nullptr));
    using Names = std::set<std::string>;
    struct Row {
        const char* pattern;
        DWORD mask;
        Names names;
        DWORD end;
    };
    const Names all = {"plain.lnk", "hidden.lnk", "system.lnk", "readonly.lnk"};
    for (const Row& row : {Row{"*.lnk", 0x2F, all, ERROR_NO_MORE_FILES}, Row{"*.lnk", 0, {"plain.lnk", "readonly.lnk"}, ERROR_NO_MORE_FILES},
                           Row{"x.lnk", 0x3F, {"x.lnk"}, ERROR_NO_MORE_FILES}, Row{"x.lnk", 0x2F, {}, ERROR_NO_MORE_FILES},
                           Row{"*.none", 0x2F, {}, ERROR_FILE_NOT_FOUND}}) {
        CAPTURE(row.mask);
        Names names;
        TSearchRec rec;
        DWORD last = FileSearchFirst(dir + "\\" + row.pattern, row.mask, rec);
        for (; last == 0; last = FileSearchNext(rec)) names.insert(Str(rec.name));
        FileSearchClose(rec);
        CHECK((names == row.names && last == row.end));
    }
    // A file put back whole: bytes, time, then attributes, read-only among them.
    const TWide kept = Widen(dir + "\\readonly.lnk");
    const std::string before = Whole(kept);
    const TFileSnapshot snapshot = SnapshotFile(kept);
    SetFileAttributesW(kept.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(kept.c_str());
    CHECK((RestoreFile(snapshot) && Whole(kept) == before));
}


// The planted library: an image of the test build, named like a system library that nothing in
// this process has loaded, as a download might leave one beside Tembix.exe. This program starts
// at the program's own entry point, as Tembix.exe does.
TEST_CASE("A library planted beside the program is not loaded; a module path that fills MAX_PATH is refused, not cut") {
    std::string built = "Z:" TEMBIX_PLANTED;
    std::replace(built.begin(), built.end(), '/', '\\');
    const auto loadedFrom = [](HMODULE module, bool loaded = true) {  // its folder, in capitals; then let go
        const TWide path = ModulePath(module);
        if (loaded) FreeLibrary(module);
        return UpperCase(path.Left(path.size() - FileNameOf(path).size()));
    };
    const TWide here = loadedFrom(nullptr, false), planted = here + L"WTSAPI32.DLL", systemFolder = loadedFrom(GetModuleHandleA("kernel32"), false);
    BOOL(WINAPI * setDefaultDllDirectories)(DWORD);
    LookUpFunction(setDefaultDllDirectories, GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories");
    REQUIRE((CopyFileW(Widen(built).c_str(), planted.c_str(), FALSE) && setDefaultDllDirectories));
    // The entry point left the program's folder out before anything ran: what the shell or COM loads
    // by name is the system's. Searched as by default, the plant is found, but not by the program's own loads.
    CHECK(loadedFrom(LoadLibraryA("wtsapi32.dll")) == systemFolder);
    setDefaultDllDirectories(0x1000);  // LOAD_LIBRARY_SEARCH_DEFAULT_DIRS: the program's folder first
    CHECK(loadedFrom(LoadLibraryA("wtsapi32.dll")) == here);
    CHECK(loadedFrom(LoadSystemLibrary("wtsapi32.dll")) == systemFolder);
    DeleteFileW(planted.c_str());
    // The same library in folders that make its path MAX_PATH - 1 and MAX_PATH characters long.
    const std::wstring base = Str(Widen(ScratchDir("deep")));
    for (const size_t length : {size_t(MAX_PATH - 1), size_t(MAX_PATH)}) {
        const std::wstring path = base + L"\\" + std::wstring(length - base.size() - 13, L'd') + L"\\planted.dll";
        CreateDirectoryW((L"\\\\?\\" + path.substr(0, path.size() - 12)).c_str(), nullptr);
        REQUIRE(CopyFileW(Widen(built).c_str(), (L"\\\\?\\" + path).c_str(), FALSE));
        const HMODULE module = LoadLibraryW((L"\\\\?\\" + path).c_str());
        CHECK((ModulePath(module) == (length < MAX_PATH ? path.c_str() : L"") && ModulePath(module).TooLong() == (length == MAX_PATH) &&
               ModuleFileName(module).TooLong() == (length == MAX_PATH)));
        FreeLibrary(module);
    }
}
