#include <doctest.h>

#include "app/app_state.h"
#include "helpers.h"
#include "settings/settings.h"

namespace {

const char kSaved75[] = "[Option]\r\nBlinkTrayIcon=1\r\nThreshold=75\r\n";

// Each case gets its own directory: the platform caches profile files by name.
std::string UseFreshExeDir(const std::string& name) {
    const std::string dir = ScratchDir("settings-" + name);
    AppState.exeDir = dir + "\\";
    return dir;
}

void SaveLikeOk(bool blink, int32_t threshold) {
    IniEraseSection(SettingsPath(), kOptionSection);
    IniWriteBool(SettingsPath(), kOptionSection, kBlinkKey, blink);
    IniWriteInteger(SettingsPath(), kOptionSection, kThresholdKey, threshold);
}

}  // namespace

TEST_CASE("Loading at start: no file gives the defaults") {
    UseFreshExeDir("none");
    AppState.blinkEnabled = true;
    AppState.threshold = 7;
    LoadSettings();
    CHECK_FALSE(AppState.blinkEnabled);
    CHECK(AppState.threshold == 80);
    CHECK_FALSE(FileExists(SettingsPath()));  // reading creates nothing
}

TEST_CASE("Loading at start: stored thresholds become one byte in 1..100") {
    struct Row {
        const char* line;  // nullptr: no Threshold key
        uint8_t expected;
    };
    const Row rows[] = {
        {"Threshold=0x32", 50}, {"Threshold=$32", 50}, {"Threshold=x32", 50},  {"Threshold= 50", 50},
        {"Threshold=50%", 80},  {"Threshold=300", 44}, {"Threshold=356", 100}, {"Threshold=-156", 100},
        {"Threshold=-1", 80},   {"Threshold=0", 80},   {"Threshold=256", 80},  {"Threshold=1", 1},
        {"Threshold=100", 100}, {"Threshold=101", 80}, {"Threshold=255", 80},  {"Threshold=abc", 80},
        {"Threshold=", 80},     {nullptr, 80},
    };
    int i = 0;
    for (const Row& row : rows) {
        CAPTURE(row.line ? row.line : "(missing)");
        UseFreshExeDir("threshold" + std::to_string(i++));
        REQUIRE(WriteFileBytes(SettingsPath(), std::string("[Option]\r\n") + (row.line ? row.line : "") + "\r\n"));
        LoadSettings();
        CHECK(AppState.threshold == row.expected);
    }
}

TEST_CASE("Loading at start: any non-zero BlinkTrayIcon is on") {
    struct Row {
        const char* line;
        bool expected;
    };
    const Row rows[] = {
        {"BlinkTrayIcon=1", true},   {"BlinkTrayIcon=2", true},  {"BlinkTrayIcon=-1", true},
        {"BlinkTrayIcon=0x1", true}, {"BlinkTrayIcon=0", false}, {"BlinkTrayIcon=yes", false},
        {"BlinkTrayIcon=", false},   {"OtherKey=1", false},
    };
    int i = 0;
    for (const Row& row : rows) {
        CAPTURE(row.line);
        UseFreshExeDir("blink" + std::to_string(i++));
        REQUIRE(WriteFileBytes(SettingsPath(), std::string("[Option]\r\n") + row.line + "\r\n"));
        LoadSettings();
        CHECK(AppState.blinkEnabled == row.expected);
    }
}

TEST_CASE("Saving writes exactly the two keys") {
    SUBCASE("from no file") {
        UseFreshExeDir("save-new");
        SaveLikeOk(true, 75);
        CHECK(ReadFileBytes(SettingsPath()) == kSaved75);
    }
    SUBCASE("over a file with another section and an extra key") {
        UseFreshExeDir("save-over");
        REQUIRE(WriteFileBytes(SettingsPath(), "[Other]\r\nk=v\r\n[Option]\r\nThreshold=5\r\nExtra=1\r\n"));
        SaveLikeOk(true, 75);
        const std::string bytes = ReadFileBytes(SettingsPath());
        CHECK(bytes.rfind("[Other]\r\nk=v\r\n", 0) == 0);
        CHECK(bytes.find("Extra") == std::string::npos);
        const size_t option = bytes.find("[Option]");
        REQUIRE(option != std::string::npos);
        CHECK(bytes.substr(option) == kSaved75);
        CHECK(IniReadString(SettingsPath(), "Other", "k") == "v");
    }
    SUBCASE("and reads back as saved") {
        UseFreshExeDir("roundtrip");
        SaveLikeOk(false, 100);
        LoadSettings();
        CHECK_FALSE(AppState.blinkEnabled);
        CHECK(AppState.threshold == 100);
    }
}

TEST_CASE("INI reads") {
    UseFreshExeDir("reads");
    const std::string longValue(2000, 'a');
    REQUIRE(WriteFileBytes(SettingsPath(), "[Option]\r\nLong=" + longValue + "\r\nBlank=  padded  \r\n"));
    CHECK(IniReadString(SettingsPath(), kOptionSection, "Long") == std::string(1023, 'a'));
    CHECK(IniReadString(SettingsPath(), kOptionSection, "Blank") == "padded");
    CHECK(IniReadString(SettingsPath(), kOptionSection, "Missing") == "");
    CHECK(IniReadString(SettingsPath(), "NoSection", "Long") == "");
    CHECK(IniReadString(AppState.exeDir + "absent.ini", kOptionSection, "Long") == "");
    CHECK(IniReadInteger(SettingsPath(), kOptionSection, "Missing", -9) == -9);
    CHECK(IniReadBool(SettingsPath(), kOptionSection, "Missing", true));
}
