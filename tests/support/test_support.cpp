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
    const TWide full(std::wstring(TWide::kCapacity, L'x'));  // text is never cut: refused whole, left empty and too long
    CHECK((full.size() == TWide::kCapacity && !full.TooLong() && (full + L"y").TooLong() && (full + L"y").empty()));
    CHECK((TAnsi().Keep(TAnsi::kCapacity + 1).TooLong() && Widen(std::string(TAnsi::kCapacity, 'a')).TooLong()));
    CHECK(FormatInt(INT32_MIN) == "-2147483648");
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

TEST_CASE("Bringing a window to the front lifts the foreground lock for that moment only") {
    HWND front = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr, nullptr, nullptr);
    HWND back = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 60, 0, 50, 50, nullptr, nullptr, nullptr, nullptr);
    SetForegroundWindow(front);
    DWORD saved = 0, after = 0;  // a system-wide setting, and another thread's own is none to join: the lock is lifted
    SystemParametersInfoA(SPI_GETFOREGROUNDLOCKTIMEOUT, 0, &saved, 0);
    SystemParametersInfoA(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, reinterpret_cast<void*>(123456), 0);
    CHECK(ForceForeground(back));
    SystemParametersInfoA(SPI_GETFOREGROUNDLOCKTIMEOUT, 0, &after, 0);
    SystemParametersInfoA(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, reinterpret_cast<void*>(static_cast<UINT_PTR>(saved)), 0);
    CHECK(after == 123456);
}
