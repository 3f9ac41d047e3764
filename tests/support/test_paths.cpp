#include <doctest.h>

#include "support/support.h"

TEST_CASE("DirectoryOf and FileNameOf split at the last backslash or colon") {
    REQUIRE_FALSE(FarEastLocale);
    struct Row {
        const char* path;
        const char* directory;
        const char* fileName;
    };
    const Row rows[] = {
        {"C:\\Apps\\Tool.exe", "C:\\Apps\\", "Tool.exe"},
        {"C:Tool.exe", "C:", "Tool.exe"},
        {"Tool.exe", "", "Tool.exe"},
        {"C:\\Apps\\", "C:\\Apps\\", ""},
        {"\\\\server\\share\\a:b", "\\\\server\\share\\a:", "b"},
        {"", "", ""},
        // In a single-byte code page 0x5C is always a backslash, whatever stands before it.
        {"C:\\Data\\\x95\x5C", "C:\\Data\\\x95\x5C", ""},
    };
    for (const Row& row : rows) {
        CAPTURE(row.path);
        CHECK(DirectoryOf(row.path) == row.directory);
        CHECK(FileNameOf(row.path) == row.fileName);
    }
}

TEST_CASE("Trailing backslashes are added and removed once") {
    struct Row {
        const char* path;
        const char* with;
        const char* without;
    };
    const Row rows[] = {
        {"C:\\Apps", "C:\\Apps\\", "C:\\Apps"},
        {"C:\\Apps\\", "C:\\Apps\\", "C:\\Apps"},
        {"", "\\", ""},
        {"\\", "\\", ""},
        {"C:\\Apps\\\\", "C:\\Apps\\\\", "C:\\Apps\\"},
    };
    for (const Row& row : rows) {
        CAPTURE(row.path);
        CHECK(WithTrailingBackslash(row.path) == row.with);
        CHECK(WithoutTrailingBackslash(row.path) == row.without);
    }
}

TEST_CASE("Byte kinds follow the run of lead bytes before a position") {
    // Simulate a double-byte code page whose lead bytes are 0x81..0x9F, as 932 has.
    const bool savedFarEast = FarEastLocale;
    const std::bitset<256> savedLeads = LeadBytes;
    FarEastLocale = true;
    LeadBytes.reset();
    for (int b = 0x81; b <= 0x9F; ++b) LeadBytes.set(b);

    struct Row {
        const char* text;
        int index;
        TByteKind kind;
    };
    const Row rows[] = {
        {"\x95\x5C", 1, TByteKind::Lead},
        {"\x95\x5C", 2, TByteKind::Trail},
        {"\x81\x81\x5C", 2, TByteKind::Trail},   // 0x81 0x81 is one character...
        {"\x81\x81\x5C", 3, TByteKind::Single},  // ...so the 0x5C after it is a backslash
        {"\x81\x81\x81\x5C", 4, TByteKind::Trail},
        {"a\\", 2, TByteKind::Single},
        {"a\x95", 2, TByteKind::Lead},
    };
    for (const Row& row : rows) {
        CAPTURE(row.text);
        CAPTURE(row.index);
        CHECK(ByteKindAt(row.text, row.index) == row.kind);
    }
    CHECK(DirectoryOf("C:\\\x81\x81\\x") == "C:\\\x81\x81\\");
    CHECK(DirectoryOf("C:\\a\\\x81\x5C") == "C:\\a\\");
    CHECK(WithTrailingBackslash("C:\\\x81\x5C") == "C:\\\x81\x5C\\");

    FarEastLocale = savedFarEast;
    LeadBytes = savedLeads;
}
