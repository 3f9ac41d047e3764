#include <doctest.h>

#include "helpers.h"
#include "support/support.h"

#include <set>

namespace {

std::set<std::string> SearchNames(const std::string& pattern, DWORD wanted, DWORD* lastCode = nullptr) {
    std::set<std::string> names;
    TSearchRec rec;
    DWORD code = FileSearchFirst(pattern, wanted, rec);
    while (code == 0) {
        names.insert(rec.name);
        code = FileSearchNext(rec);
    }
    if (lastCode) *lastCode = code;
    FileSearchClose(rec);
    CHECK(rec.findHandle == INVALID_HANDLE_VALUE);
    return names;
}

}  // namespace

TEST_CASE("The directory search applies the attribute mask") {
    const std::string dir = ScratchDir("search");
    REQUIRE(WriteFileBytes(dir + "\\plain.lnk", "12345"));
    REQUIRE(WriteFileBytes(dir + "\\hidden.lnk", "x"));
    REQUIRE(WriteFileBytes(dir + "\\system.lnk", "x"));
    REQUIRE(WriteFileBytes(dir + "\\readonly.lnk", "x"));
    REQUIRE(WriteFileBytes(dir + "\\other.txt", "x"));
    REQUIRE(CreateDirectoryA((dir + "\\x.lnk").c_str(), nullptr));
    SetFileAttributesA((dir + "\\hidden.lnk").c_str(), FILE_ATTRIBUTE_HIDDEN);
    SetFileAttributesA((dir + "\\system.lnk").c_str(), FILE_ATTRIBUTE_SYSTEM);
    SetFileAttributesA((dir + "\\readonly.lnk").c_str(), FILE_ATTRIBUTE_READONLY);

    SUBCASE("0x2F skips directories and finds hidden and system files; the end gives 18") {
        DWORD last = 0;
        const auto names = SearchNames(dir + "\\*.lnk", 0x2F, &last);
        CHECK(names == std::set<std::string>{"plain.lnk", "hidden.lnk", "system.lnk", "readonly.lnk"});
        CHECK(last == ERROR_NO_MORE_FILES);
    }
    SUBCASE("wanting nothing skips hidden, system and directories, never read-only") {
        CHECK(SearchNames(dir + "\\*.lnk", 0) == std::set<std::string>{"plain.lnk", "readonly.lnk"});
    }
    SUBCASE("wanting directories delivers them") { CHECK(SearchNames(dir + "\\*.lnk", 0x3F).count("x.lnk") == 1); }
    SUBCASE("the record describes the entry") {
        TSearchRec rec;
        REQUIRE(FileSearchFirst(dir + "\\plain.lnk", 0x2F, rec) == 0);
        CHECK(rec.name == "plain.lnk");
        CHECK(rec.size == 5);
        CHECK((rec.attributes & FILE_ATTRIBUTE_DIRECTORY) == 0);
        FILETIME local;
        WORD date = 0, time = 0;
        FileTimeToLocalFileTime(&rec.findData.ftLastWriteTime, &local);
        FileTimeToDosDateTime(&local, &date, &time);
        CHECK(rec.dosTime == ((DWORD(date) << 16) | time));
        SYSTEMTIME now;
        GetLocalTime(&now);
        CHECK((rec.dosTime >> 25) + 1980 == now.wYear);
        CHECK(FileSearchNext(rec) == ERROR_NO_MORE_FILES);
        CHECK(rec.findHandle != INVALID_HANDLE_VALUE);  // the caller closes after Next
        FileSearchClose(rec);
        CHECK(rec.findHandle == INVALID_HANDLE_VALUE);
        FileSearchClose(rec);  // a second close does nothing
    }
    SUBCASE("no match gives 2 and leaves no handle") {
        TSearchRec rec;
        CHECK(FileSearchFirst(dir + "\\*.none", 0x2F, rec) == ERROR_FILE_NOT_FOUND);
        CHECK(rec.findHandle == INVALID_HANDLE_VALUE);
    }
    SUBCASE("only excluded entries: the first search reports the end and closes") {
        TSearchRec rec;
        CHECK(FileSearchFirst(dir + "\\x.lnk", 0x2F, rec) == ERROR_NO_MORE_FILES);
        CHECK(rec.findHandle == INVALID_HANDLE_VALUE);
    }
    RemoveTree(dir);
}
