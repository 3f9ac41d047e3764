#include <doctest.h>

#include "support/support.h"

#include <climits>
#include <cstring>

TEST_CASE("ParseIntOr accepts exactly the integer grammar") {
    struct Row {
        const char* text;
        int32_t expected;
    };
    const Row rows[] = {
        {"75", 75},
        {"  75", 75},
        {"75 ", 80},
        {"\t75", 80},
        {"+7", 7},
        {"-7", -7},
        {"007", 7},
        {"-0", 0},
        {"$1F", 31},
        {"x1F", 31},
        {"X1f", 31},
        {"0x1F", 31},
        {"0X1f", 31},
        {"  $ff", 255},
        {"-$1F", 80},
        {"+0x10", 80},
        {"2147483647", INT32_MAX},
        {"2147483648", 80},
        {"-2147483648", INT32_MIN},
        {"-2147483649", 80},
        {"99999999999999999999", 80},
        {"$FFFFFFFF", -1},
        {"$80000000", INT32_MIN},
        {"$00000000FFFFFFFF", -1},  // leading zeros are not significant
        {"$100000000", 80},
        {"", 80},
        {" ", 80},
        {"+", 80},
        {"-", 80},
        {"$", 80},
        {"0x", 80},
        {"x", 80},
        {"- 5", 80},
        {"5-", 80},
        {"1e3", 80},
        {"50%", 80},
        {"$1G", 80},
        {"0x1F ", 80},
    };
    for (const Row& row : rows) {
        CAPTURE(row.text);
        CHECK(ParseIntOr(row.text, 80) == row.expected);
    }
}

TEST_CASE("ParseIntLenient keeps the digits read before the parse stopped") {
    struct Row {
        const char* text;
        int32_t expected;
    };
    const Row rows[] = {
        {"42", 42},   {"4x", 4},  {"-5a", 5},   {"-5", -5}, {"abc", 0},   {"", 0},     {"007", 7},
        {"999", 999}, {"1 0", 1}, {"$1Fz", 31}, {"x", 0},   {"100", 100}, {" 12", 12}, {"-", 0},
    };
    for (const Row& row : rows) {
        CAPTURE(row.text);
        CHECK(ParseIntLenient(row.text) == row.expected);
    }
}

TEST_CASE("FormatInt writes plain decimal at the extremes") {
    struct Row {
        int32_t value;
        const char* text;
    };
    const Row rows[] = {
        {0, "0"},      {7, "7"}, {100, "100"}, {-1, "-1"}, {INT32_MAX, "2147483647"}, {INT32_MIN, "-2147483648"},
        {-100, "-100"}};
    for (const Row& row : rows) {
        CAPTURE(row.value);
        CHECK(FormatInt(row.value) == row.text);
        CHECK(ParseIntOr(FormatInt(row.value), 12345) == row.value);
    }
}

TEST_CASE("UpperCaseAnsi and CopyToBuffer") {
    CHECK(UpperCaseAnsi("Tembix.exe") == "TEMBIX.EXE");
    CHECK(UpperCaseAnsi("") == "");
    CHECK(UpperCaseAnsi("c:\\a b\\x.lnk") == "C:\\A B\\X.LNK");

    char buffer[8];
    std::memset(buffer, 'z', sizeof buffer);
    CopyToBuffer(buffer, std::string("ab\0cd", 5));  // stops at the NUL inside the text
    CHECK(std::strcmp(buffer, "ab") == 0);
    CHECK(buffer[3] == 'z');
    CHECK(std::strcmp(CopyToBuffer(buffer, "1234567"), "1234567") == 0);
}
