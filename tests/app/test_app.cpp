#include <doctest.h>

#include "app_fixture.h"
#include "support/support.h"

namespace {

using Shell = RecordingShell;
const COLORREF kProgramIconCorner = RGB(192, 192, 192);  // the chart's light top-left edge

}  // namespace

TEST_CASE("The first argument decides the restart switch") {
    struct Row {
        const char* commandLine;
        const char* first;
    };
    const Row rows[] = {
        {"Tembix.exe /r", "/r"},
        {"\"C:\\Program Files\\Tembix\\Tembix.exe\" /r", "/r"},
        {"\"C:\\Program Files\\Tembix\\Tembix.exe\"", ""},
        {"Tembix.exe", ""},
        {"Tembix.exe   /r   ", "/r"},
        {"Tembix.exe\t/r", "/r"},
        {"Tembix.exe \"/r\"", "/r"},
        {"Tembix.exe /R", "/R"},
        {"Tembix.exe r", "r"},
        {"Tembix.exe x /r", "x"},
        {"Tembix.exe /rx", "/rx"},
        {"Tembix.exe \"/r x\"", "/r x"},
        {"Tembix.exe /\"r\"", "/r"},
        {"Tembix.exe a\\\"b", "a\"b"},
        {"Tembix.exe a\\\\\"b c\"", "a\\b c"},
        {"Tembix.exe a\\b", "a\\b"},
        {"Tembix.exe \"\"", ""},
        {"Tembix.exe \"/r\"\"x\"", "/r\"x"},
        {"Tembix.exe a\"\"b", "ab"},
        {"", ""},
    };
    for (const Row& row : rows) {
        CAPTURE(row.commandLine);
        CHECK(FirstArgument(row.commandLine) == row.first);
    }
}

TEST_CASE("Start-up and shutdown bring the monitoring up and down in order") {
    RecordingShell shell;
    static const bool registered = RegisterMainWindowClass(AppState.hInstance);
    (void)registered;
    AppState.mainWindow = CreateMainWindow(AppState.hInstance);
    REQUIRE(AppState.mainWindow != nullptr);
    char title[32] = {};
    GetWindowTextA(AppState.mainWindow, title, sizeof title);
    CHECK(std::string(title) == "Tembix");
    CHECK_FALSE(IsWindowVisible(AppState.mainWindow));
    AppState.lastShown = kNothingShown;

    StartMonitoring();
    CHECK(AppState.taskbarCreatedMsg == RegisterWindowMessageA("TaskbarCreated"));
    CHECK(AppState.sampler != nullptr);
    CHECK(AppState.canvas.memDC != nullptr);
    REQUIRE(Shell::calls.size() == 1);
    CHECK(Shell::calls[0].action == NIM_ADD);
    CHECK(Shell::calls[0].iconPixel == kProgramIconCorner);  // the program's own icon first
    CHECK(AppState.lastShown == kNothingShown);
    CHECK(AppState.sampler->prevIdleTime != 0);  // primed, so the first tick measures
    CHECK(AppFixture::TimerRunning());

    StopMonitoring();
    REQUIRE(Shell::calls.size() == 2);
    CHECK(Shell::calls[1].action == NIM_DELETE);
    CHECK_FALSE(AppFixture::TimerRunning());
    CHECK(AppState.sampler == nullptr);
    CHECK(AppState.canvas.memDC == nullptr);
    CHECK(AppState.canvas.font == nullptr);
    DestroyWindow(AppState.mainWindow);
    AppState.mainWindow = nullptr;
}

TEST_CASE("Timer ticks") {
    AppFixture f;
    ScriptedSampler::nextLoad = 42;
    AppFixture::Send(WM_TIMER, 2);
    CHECK(Shell::calls.empty());
    CHECK(ScriptedSampler::samples == 0);
    AppFixture::Send(WM_TIMER, IDT_SAMPLE);
    REQUIRE(Shell::calls.size() == 1);
    CHECK(Shell::calls[0].action == NIM_MODIFY);
    CHECK(AppState.lastShown == 42);
}

TEST_CASE("Commands outside 256..261 only trim the working set") {
    AppFixture f;
    for (WPARAM id : {255, 262, 0x10000 + 255}) {
        CAPTURE(id);
        f.ClearRecords();
        AppFixture::Send(WM_COMMAND, id);
        CHECK(AppFixture::trims == 1);
        CHECK(Shell::calls.empty());
        CHECK(ScriptedSampler::samples == 0);
        CHECK(AppFixture::shellOpens.empty());
        CHECK(AppFixture::TimerRunning());
        CHECK_FALSE(AppState.paused);
        CHECK_FALSE(AppFixture::RunUntilQuit(100));
    }
}

TEST_CASE("Pause and Resume") {
    AppFixture f;
    ScriptedSampler::nextLoad = 42;
    AppFixture::Send(WM_TIMER, IDT_SAMPLE);
    AppState.blinkPhase = true;
    f.ClearRecords();

    AppFixture::Send(WM_COMMAND, IDM_PAUSE);
    CHECK(AppState.paused);
    CHECK_FALSE(AppFixture::TimerRunning());
    CHECK(AppState.sampler->prevIdleTime == 0);  // Reset
    REQUIRE(Shell::calls.size() == 1);
    CHECK(Shell::calls[0].action == NIM_MODIFY);
    CHECK(Shell::calls[0].iconPixel == kProgramIconCorner);
    CHECK(ScriptedSampler::samples == 0);
    CHECK(AppState.lastShown == kNothingShown);
    CHECK_FALSE(AppState.blinkPhase);
    CHECK(AppFixture::trims == 1);
    f.ClearRecords();

    AppFixture::Send(WM_COMMAND, IDM_RESUME);
    CHECK_FALSE(AppState.paused);
    CHECK(ScriptedSampler::samples == 1);  // the priming sample
    CHECK(Shell::calls.empty());
    CHECK(AppFixture::TimerRunning());
    AppFixture::Send(WM_TIMER, IDT_SAMPLE);  // the same 42 as before the pause
    REQUIRE(Shell::calls.size() == 1);
    CHECK(Shell::calls[0].iconPixel == CLR_BLUE);
}

TEST_CASE("TaskbarCreated puts the icon back with a fresh sample") {
    AppFixture f;
    // 85 is red under the threshold of 80; after Pause the sampler was reset, so its fresh
    // sample is a first one and shows as a blue 0, still a load image.
    COLORREF expected = CLR_RED;
    SUBCASE("while sampling") {}
    SUBCASE("while paused") {
        AppFixture::Send(WM_COMMAND, IDM_PAUSE);
        f.ClearRecords();
        expected = CLR_BLUE;
    }
    ScriptedSampler::nextLoad = 85;
    AppState.lastShown = 17;
    AppFixture::Send(AppState.taskbarCreatedMsg);
    REQUIRE(Shell::calls.size() == 1);
    CHECK(Shell::calls[0].action == NIM_ADD);
    CHECK(Shell::calls[0].iconPixel == expected);
    CHECK(ScriptedSampler::samples == 1);
    CHECK(AppState.lastShown == 17);
}

TEST_CASE("WM_NULL is never taken for TaskbarCreated") {
    AppFixture f;
    for (UINT registered : {0u, AppState.taskbarCreatedMsg}) {
        AppState.taskbarCreatedMsg = registered;
        AppFixture::Send(WM_NULL);
    }
    CHECK(Shell::calls.empty());
    CHECK(ScriptedSampler::samples == 0);
}

TEST_CASE("Help, Restart and Exit") {
    AppFixture f;
    SUBCASE("Help opens the text file beside the program") {
        AppFixture::Send(WM_COMMAND, IDM_HELP);
        CHECK(AppFixture::shellOpens ==
              std::vector<std::pair<std::string, std::string>>{{"C:\\Apps\\Tembix\\Tembix.txt", ""}});
        CHECK(AppFixture::trims == 1);
        CHECK_FALSE(AppFixture::RunUntilQuit(100));
    }
    SUBCASE("Restart starts the module with /r, then ends the loop; the window stays") {
        AppFixture::Send(WM_COMMAND, IDM_RESTART);
        CHECK(AppFixture::shellOpens ==
              std::vector<std::pair<std::string, std::string>>{{ModuleFileName(nullptr), "/r"}});
        CHECK(AppFixture::RunUntilQuit());
        CHECK(IsWindow(AppState.mainWindow));
    }
    SUBCASE("Exit ends the loop; the window stays") {
        AppFixture::Send(WM_COMMAND, IDM_EXIT);
        CHECK(AppFixture::shellOpens.empty());
        CHECK(AppFixture::RunUntilQuit());
        CHECK(IsWindow(AppState.mainWindow));
    }
}

TEST_CASE("WM_CLOSE and WM_DESTROY end the loop") {
    AppFixture f;
    SUBCASE("WM_CLOSE destroys the window on the way") {
        PostMessageA(AppState.mainWindow, WM_CLOSE, 0, 0);
        CHECK(AppFixture::RunUntilQuit());
        CHECK_FALSE(IsWindow(AppState.mainWindow));
    }
    SUBCASE("a posted WM_DESTROY leaves the window") {
        PostMessageA(AppState.mainWindow, WM_DESTROY, 0, 0);
        CHECK(AppFixture::RunUntilQuit());
        CHECK(IsWindow(AppState.mainWindow));
    }
}

TEST_CASE("Every message goes on to DefWindowProcA with its own values") {
    AppFixture f;
    ScriptedSampler::nextLoad = 3;
    const DefCall sent[] = {
        {AppState.mainWindow, WM_TIMER, IDT_SAMPLE, 0},
        {AppState.mainWindow, WM_TIMER, 2, 7},
        {AppState.mainWindow, WM_COMMAND, 262, 9},
        {AppState.mainWindow, WM_COMMAND, IDM_PAUSE, 0},
        {AppState.mainWindow, WM_COMMAND, IDM_RESUME, 0},
        {AppState.mainWindow, WM_TRAYICON, 0, WM_MOUSEMOVE},
        {AppState.mainWindow, AppState.taskbarCreatedMsg, 5, 6},
        {AppState.mainWindow, WM_NULL, 1, 2},
        {AppState.mainWindow, WM_USER + 5, 3, 4},
        {AppState.mainWindow, WM_DESTROY, 0, 0},
    };
    for (const DefCall& call : sent) {
        CAPTURE(call.message);
        AppFixture::defCalls.clear();
        AppFixture::Send(call.message, call.wParam, call.lParam);
        REQUIRE_FALSE(AppFixture::defCalls.empty());
        const DefCall& seen = AppFixture::defCalls.front();
        CHECK(seen.window == call.window);
        CHECK(seen.message == call.message);
        CHECK(seen.wParam == call.wParam);
        CHECK(seen.lParam == call.lParam);
    }
    // The result is the default procedure's: it answers WM_GETTEXT with the window title.
    char title[16] = {};
    CHECK(AppFixture::Send(WM_GETTEXT, sizeof title, reinterpret_cast<LPARAM>(title)) == 6);
    CHECK(std::string(title) == "Tembix");
    AppFixture::defCalls.clear();
    AppFixture::Send(WM_CLOSE);
    CHECK(AppFixture::Count(WM_CLOSE) == 1);
    CHECK(AppFixture::Count(WM_DESTROY) == 1);  // sent by the default processing
}

TEST_CASE("The resources: the icon group and the version") {
    const LANGID japanese = MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT);
    // The icon group: a 16x16 and a 32x32 image, 16 colours each.
    HRSRC group = FindResourceExA(AppState.hInstance, RT_GROUP_ICON, "MAINICON", japanese);
    REQUIRE(group != nullptr);
    const auto* header = static_cast<const BYTE*>(LockResource(LoadResource(AppState.hInstance, group)));
    REQUIRE(header[4] == 2);  // idCount
    for (int i = 0; i < 2; ++i) {
        const BYTE* entry = header + 6 + 14 * i;  // GRPICONDIRENTRY
        CAPTURE(i);
        CHECK(entry[0] == (i == 0 ? 16 : 32));
        CHECK(entry[1] == entry[0]);
        CHECK(entry[2] == 16);                   // colours
        CHECK((entry[6] | entry[7] << 8) == 4);  // bits per pixel
    }

    HRSRC version = FindResourceExA(AppState.hInstance, RT_VERSION, MAKEINTRESOURCEA(1), japanese);
    REQUIRE(version != nullptr);
    const DWORD size = SizeofResource(AppState.hInstance, version);
    const void* data = LockResource(LoadResource(AppState.hInstance, version));
    std::vector<BYTE> copy(static_cast<const BYTE*>(data), static_cast<const BYTE*>(data) + size);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    REQUIRE(VerQueryValueA(copy.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    CHECK(fixed->dwFileVersionMS == MAKELONG(1, 1));
    CHECK(fixed->dwFileVersionLS == MAKELONG(0, 6));
    CHECK(fixed->dwProductVersionMS == MAKELONG(1, 1));
    DWORD* translation = nullptr;
    REQUIRE(VerQueryValueA(copy.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length));
    CHECK(*translation == MAKELONG(0x0411, 932));
    struct Row {
        const char* name;
        const char* value;
    };
    for (const Row& row :
         {Row{"FileDescription", "Tembix"}, Row{"InternalName", "Tembix"}, Row{"ProductName", "Tembix"},
          Row{"LegalTrademarks", "Tembix"}, Row{"OriginalFilename", "Tembix.exe"}, Row{"FileVersion", "1.1.6.0"},
          Row{"ProductVersion", "1.1.6.0"}}) {
        CAPTURE(row.name);
        char* text = nullptr;
        const std::string query = std::string("\\StringFileInfo\\041103A4\\") + row.name;
        REQUIRE(VerQueryValueA(copy.data(), query.c_str(), reinterpret_cast<void**>(&text), &length));
        CHECK(std::string(text) == row.value);
    }
}
