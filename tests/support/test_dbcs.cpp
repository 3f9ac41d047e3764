// Runs with ANSI code page 932: "表" is the two bytes 0x95 0x5C, a real trail-byte backslash.
#include <doctest.h>

#include "support/support.h"
#include "testlib.h"

TEST_CASE("The locale's lead bytes, and a directory named with a trail-byte backslash") {
    REQUIRE(GetACP() == 932);
    CHECK(FarEastLocale);
    for (int b : {0x81, 0x95, 0x9F, 0xE0, 0xFC}) CHECK(LeadBytes.test(b));
    for (int b : {0x00, 0x41, 0x5C, 0x80, 0xA0, 0xDF, 0xFD}) CHECK_FALSE(LeadBytes.test(b));

    const std::string hyo = "\x95\x5C", dir = ScratchDir("dbcs"), sub = dir + "\\" + hyo;
    REQUIRE(CreateDirectoryA(sub.c_str(), nullptr));
    REQUIRE(WriteFileBytes(sub + "\\Tembix.exe", "x"));
    const std::string longPath = LongPathName(sub + "\\Tembix.exe");
    REQUIRE_FALSE(longPath.empty());
    CHECK(FileNameOf(longPath) == "Tembix.exe");
    CHECK(DirectoryOf(longPath) == WithTrailingBackslash(sub));
    CHECK(FileNameOf(WithoutTrailingBackslash(DirectoryOf(longPath))) == hyo);
    CHECK(WithoutTrailingBackslash(sub) == sub);
    TSearchRec rec;
    REQUIRE(FileSearchFirst(sub, faDirectory, rec) == 0);
    CHECK(rec.name == hyo);
    RemoveTree(dir);
}
