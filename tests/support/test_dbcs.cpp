// Runs with ANSI code page 932: "表" is the two bytes 0x95 0x5C, a real trail-byte backslash.
#include <doctest.h>

#include "helpers.h"
#include "support/support.h"

namespace {
const std::string kHyo = "\x95\x5C";  // 表
}

TEST_CASE("The double-byte information comes from the locale's code page") {
    REQUIRE(GetACP() == 932);
    CHECK(FarEastLocale);
    for (int b : {0x81, 0x95, 0x9F, 0xE0, 0xFC}) {
        CAPTURE(b);
        CHECK(LeadBytes.test(b));
    }
    for (int b : {0x00, 0x41, 0x5C, 0x80, 0xA0, 0xDF, 0xFD}) {
        CAPTURE(b);
        CHECK_FALSE(LeadBytes.test(b));
    }
}

TEST_CASE("A trail byte 0x5C is not a backslash") {
    const std::string path = "C:\\Data\\" + kHyo;
    CHECK(ByteKindAt(path, static_cast<int>(path.size())) == TByteKind::Trail);
    CHECK(DirectoryOf(path) == "C:\\Data\\");
    CHECK(FileNameOf(path) == kHyo);
    CHECK(WithTrailingBackslash(path) == path + "\\");
    CHECK(WithoutTrailingBackslash(path) == path);
    CHECK(DirectoryOf("C:\\" + kHyo + "\\Tembix.exe") == "C:\\" + kHyo + "\\");
    CHECK(DirectoryOf(kHyo) == "");
}

TEST_CASE("A real directory named with a trail-byte backslash keeps its name") {
    const std::string dir = ScratchDir("dbcs");
    const std::string sub = dir + "\\" + kHyo;
    REQUIRE(CreateDirectoryA(sub.c_str(), nullptr));
    REQUIRE(WriteFileBytes(sub + "\\Tembix.exe", "x"));

    const std::string longPath = LongPathName(sub + "\\Tembix.exe");
    REQUIRE_FALSE(longPath.empty());
    CHECK(FileNameOf(longPath) == "Tembix.exe");
    CHECK(FileNameOf(WithoutTrailingBackslash(DirectoryOf(longPath))) == kHyo);

    TSearchRec rec;
    REQUIRE(FileSearchFirst(dir + "\\*", faDirectory, rec) == 0);
    bool found = false;
    for (DWORD code = 0; code == 0; code = FileSearchNext(rec)) found = found || rec.name == kHyo;
    CHECK(found);
    FileSearchClose(rec);
    RemoveTree(dir);
}
