#include "ui/form1.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

#include "engine/affinity.h"
#include "platform/fake_platform.h"
#include "ui/fake_toolkit.h"

namespace mjr::testing {
namespace {

constexpr char kTool[] = "C:\\Apps\\tool.exe";
constexpr Dword kToolPid = 1200;
constexpr Dword kHigh = 0x80;

class Form1Test : public ::testing::Test {
protected:
    Form1Test() {
        ui.form = &form;
        ui.Follow(platform);
        module.Cpu.CpuBits = BuildCpuBits();
        module.Cpu.MaxCpuIndex = 3;
        platform.AddProcess(4, "C:\\WINDOWS\\system32\\services.exe");
        platform.AddProcess(8, "C:\\WINDOWS\\system32\\winedevice.exe");
    }

    void WriteProfile(const std::wstring& name, const std::string& favorites) {
        platform.files[L"C:\\Apps\\Marrowbine\\" + name] = "Favourites\r\n" + favorites;
    }
    void WriteGoodProfile() { WriteProfile(L"My Favs 1", "a\t0\tHigh\tC:\\Apps\\tool.exe\r\n"); }
    FakeProcess& StartTool() { return platform.AddProcess(kToolPid, kTool); }

    std::wstring Label(LabelId id) { return ui.labels.count(id) ? ui.labels[id] : L"(unset)"; }
    bool Centred() const {
        return ui.left == (ui.screenWidth - ui.width) / 2 && ui.top == (ui.screenHeight - ui.height) / 2;
    }
    void LoadRunning() {
        WriteGoodProfile();
        form.FormLoad();
        ASSERT_TRUE(ui.timerRunning);
        ui.log.clear();
        ui.yields = 0;
    }

    FakePlatform platform;
    Module1 module{platform};
    FakeToolkit ui;
    Form1 form{module, ui};
};

TEST_F(Form1Test, LoadWithFavouritesEndsHiddenInTheTrayWithTheTimerRunning) {
    WriteGoodProfile();
    form.FormLoad();

    // Shown and drawn; the icon added (the shell's re-creation let through first), a time
    // slice given up, into the tray; then the reset: counters shown before the profile is read.
    EXPECT_EQ(ui.log, (std::vector<std::string>{
                          "Show", "Yield", "AllowTaskbarCreated", "NIM_ADD", "Sleep(0)", "Minimize", "Hide",
                          "Yield", "StopTimer1", "LblFavsSet: Favorites Hit: 0",
                          "LblFailed: Affinity Errors: 0", "LblPriFail: Priority Errors: 0", "CreateFileW",
                          "LblProfileUsed: Profile:My Favs 1  Enforce:Disabled", "LblFavsLoaded: Favorites: 1",
                          "SetPicMain(PicOK)", "StartTimer1"}));
    EXPECT_EQ(platform.sleeps, 1u);
    EXPECT_EQ(ui.TrayCalls(kNimAdd), 1u);
    EXPECT_EQ(ui.trayCalls[0].second.bytes, BuildTrayData(ui.window, ui.icon).bytes);
    EXPECT_FALSE(ui.visible);
    EXPECT_EQ(ui.state, WindowState::Minimized);
    EXPECT_TRUE(ui.timerRunning);
    EXPECT_EQ(ui.picMain, PictureId::PicOK);
    EXPECT_EQ(Label(LabelId::LblFavsLoaded), L"Favorites: 1");
    EXPECT_EQ(Label(LabelId::LblProfileUsed), L"Profile:My Favs 1  Enforce:Disabled");
    EXPECT_FALSE(form.Paused());
}

TEST_F(Form1Test, LoadWithoutFavouritesBringsTheWindowBackCentredWithTheTimerStopped) {
    for (const char* profile : {"", "only a header\r\n", "a\t0\tHigh\r\n"}) {
        SCOPED_TRACE(profile);
        FakePlatform p;
        p.files[L"C:\\Apps\\Marrowbine\\My Favs 1"] = profile;
        Module1 m{p};
        FakeToolkit t;
        Form1 f{m, t};
        t.form = &f;
        t.Follow(p);
        f.FormLoad();
        // The trouble picture first, then the window back, centred and drawn.
        const std::vector<std::string> end(t.log.end() - 7, t.log.end());
        EXPECT_EQ(end, (std::vector<std::string>{"CreateFileW", "LblFavsLoaded: Favorites: 0",
                                                 "SetPicMain(PictBad)", "Normal", "Show", "Move", "Yield"}));
        EXPECT_EQ(t.filterRequests, 1);
        EXPECT_FALSE(t.timerRunning);
        EXPECT_EQ(t.picMain, PictureId::PictBad);
        EXPECT_TRUE(t.visible);
        EXPECT_EQ(t.state, WindowState::Normal);
        EXPECT_EQ(t.left, (t.screenWidth - t.width) / 2);
        EXPECT_EQ(t.top, (t.screenHeight - t.height) / 2);
        EXPECT_EQ(t.labels[LabelId::LblFavsLoaded], L"Favorites: 0");
        EXPECT_EQ(t.labels.count(LabelId::LblProfileUsed), 0u) << "a failed load keeps the design text";
        EXPECT_EQ(t.TrayCalls(kNimAdd), 1u);
    }
}

TEST_F(Form1Test, LabelTextsToTheLetter) {
    module.Settings.ProfileName = L"My Favs 2";
    module.Settings.EnforceOn = true;
    module.Settings.EnforceSeconds = 30;
    WriteProfile(L"My Favs 2",
                 "a\t0\tHigh\tC:\\Apps\\tool.exe\r\nb\t1\tLow\tC:\\x.exe\r\nc\t1\tLow\tC:\\y.exe\r\n");
    StartTool().setPriorityFails = true;
    form.FormLoad();
    EXPECT_EQ(Label(LabelId::LblFavsLoaded), L"Favorites: 3");
    EXPECT_EQ(Label(LabelId::LblFavsSet), L"Favorites Hit: 0");
    EXPECT_EQ(Label(LabelId::LblFailed), L"Affinity Errors: 0");
    EXPECT_EQ(Label(LabelId::LblPriFail), L"Priority Errors: 0");
    EXPECT_EQ(Label(LabelId::LblProfileUsed), L"Profile:My Favs 2  Enforce:30");

    form.Timer1Timer();
    EXPECT_EQ(Label(LabelId::LblFavsSet), L"Favorites Hit: 1");
    EXPECT_EQ(Label(LabelId::LblFailed), L"Affinity Errors: 0");
    EXPECT_EQ(Label(LabelId::LblPriFail), L"Priority Errors: 1");

    ui.mainAppWindowExists = true;
    form.Timer1Timer();
    EXPECT_EQ(Label(LabelId::LblFavsLoaded), L"Paused...");
}

TEST_F(Form1Test, TickWhileTheMainApplicationRunsPausesAndDoesNothingElse) {
    StartTool();
    LoadRunning();
    platform.ClearRecord();
    ui.mainAppWindowExists = true;
    for (int tick = 0; tick < 3; ++tick) form.Timer1Timer();

    EXPECT_TRUE(form.Paused());
    EXPECT_EQ(ui.findWindowCalls.back(), (std::pair<std::string, std::string>{"ThunderRT6FormDC", "Marrowbine64"}));
    EXPECT_EQ(Label(LabelId::LblFavsLoaded), L"Paused...");
    EXPECT_EQ(platform.enumProcessesCalls, 0u);
    EXPECT_EQ(platform.Find(kToolPid)->priority, 0x20u);
    EXPECT_EQ(ui.log, std::vector<std::string>(3, "LblFavsLoaded: Paused..."));
    EXPECT_TRUE(ui.timerRunning);
}

TEST_F(Form1Test, TickAfterTheMainApplicationClosedResetsAndReloads) {
    StartTool().setAffinityFails = true;
    LoadRunning();
    form.Timer1Timer();
    ASSERT_EQ(module.AffinityErrors.Value(), 1);
    ui.mainAppWindowExists = true;
    form.Timer1Timer();
    // While paused the profile gains a favourite; the resume must see it.
    WriteProfile(L"My Favs 1", "a\t0\tHigh\tC:\\Apps\\tool.exe\r\nb\t1\tLow\tC:\\x.exe\r\n");
    module.Enforcement.LastProcessCount = 99;
    platform.ClearRecord();
    ui.mainAppWindowExists = false;
    form.Timer1Timer();

    EXPECT_FALSE(form.Paused());
    EXPECT_EQ(module.AffinityErrors.Value(), 0);
    EXPECT_EQ(module.FavoritesHit.Value(), 0);
    EXPECT_EQ(module.Enforcement.LastProcessCount, 0);
    EXPECT_EQ(platform.CallsNamed("CreateFileW"), 1u);
    EXPECT_EQ(platform.enumProcessesCalls, 0u) << "the resuming tick makes no pass";
    EXPECT_EQ(Label(LabelId::LblFavsLoaded), L"Favorites: 2");
    EXPECT_EQ(Label(LabelId::LblFailed), L"Affinity Errors: 0");
    EXPECT_EQ(ui.picMain, PictureId::PicOK);
    EXPECT_TRUE(ui.timerRunning);

    form.Timer1Timer();
    EXPECT_GT(platform.enumProcessesCalls, 0u);
    EXPECT_EQ(module.FavoritesHit.Value(), 1) << "the next tick scans again";
}

TEST_F(Form1Test, NormalTickEnforcesAndShowsCountersAndTrouble) {
    struct Case {
        const char* name;
        bool affinityFails, priorityFails;
        PictureId expected;
    };
    for (const Case& c : {Case{"all corrected", false, false, PictureId::PicOK},
                          Case{"affinity failed", true, false, PictureId::PictBad},
                          Case{"priority failed", false, true, PictureId::PictBad},
                          Case{"both failed", true, true, PictureId::PictBad}}) {
        SCOPED_TRACE(c.name);
        FakePlatform p;
        p.AddProcess(4, "a");
        p.AddProcess(8, "b");
        FakeProcess& tool = p.AddProcess(kToolPid, kTool);
        tool.setAffinityFails = c.affinityFails;
        tool.setPriorityFails = c.priorityFails;
        p.files[L"C:\\Apps\\Marrowbine\\My Favs 1"] = "h\r\na\t0\tHigh\tC:\\Apps\\tool.exe\r\n";
        Module1 m{p};
        m.Cpu.CpuBits = BuildCpuBits();
        m.Cpu.MaxCpuIndex = 3;
        FakeToolkit t;
        Form1 f{m, t};
        t.form = &f;
        t.Follow(p);
        f.FormLoad();
        t.labels[LabelId::LblFavsLoaded] = L"stale";
        t.log.clear();
        f.Timer1Timer();

        // The count before the pass, the counters after it in their order, the picture last.
        std::vector<std::string> order;
        std::copy_if(t.log.begin(), t.log.end(), std::back_inserter(order),
                     [](const std::string& e) { return e.rfind("Sleep", 0) != 0; });
        std::vector<std::string> expected{
            "LblFavsLoaded: Favorites: 1", "EnumProcesses", "LblFavsSet: Favorites Hit: 1",
            std::string("LblFailed: Affinity Errors: ") + (c.affinityFails ? "1" : "0"),
            std::string("LblPriFail: Priority Errors: ") + (c.priorityFails ? "1" : "0")};
        if (c.expected == PictureId::PictBad) expected.push_back("SetPicMain(PictBad)");
        EXPECT_EQ(order, expected);

        EXPECT_EQ(t.labels[LabelId::LblFavsLoaded], L"Favorites: 1");
        EXPECT_EQ(t.labels[LabelId::LblFavsSet], L"Favorites Hit: 1");
        EXPECT_EQ(t.labels[LabelId::LblFailed], c.affinityFails ? L"Affinity Errors: 1" : L"Affinity Errors: 0");
        EXPECT_EQ(t.labels[LabelId::LblPriFail], c.priorityFails ? L"Priority Errors: 1" : L"Priority Errors: 0");
        EXPECT_EQ(t.picMain, c.expected);
        EXPECT_FALSE(t.visible) << "trouble on a tick never brings the window back";
        EXPECT_TRUE(t.timerRunning);
        if (!c.priorityFails) {
            EXPECT_EQ(p.Find(kToolPid)->priority, kHigh);
        }
        if (!c.affinityFails) {
            EXPECT_EQ(p.Find(kToolPid)->affinity, 0x1u);
        }

        // Later clean ticks leave the trouble picture in place.
        tool.setAffinityFails = tool.setPriorityFails = false;
        for (int i = 0; i < 5; ++i) f.Timer1Timer();
        EXPECT_EQ(t.picMain, c.expected);
        EXPECT_EQ(t.yields, 2) << "no tick yields";
    }
}

TEST_F(Form1Test, ResetClickedWhilePausedKeepsThePauseAndTheNextTickResetsAgain) {
    LoadRunning();
    ui.mainAppWindowExists = true;
    form.Timer1Timer();
    platform.ClearRecord();
    form.Image1Click();
    EXPECT_TRUE(form.Paused());
    EXPECT_TRUE(ui.timerRunning);
    EXPECT_EQ(Label(LabelId::LblFavsLoaded), L"Favorites: 1");
    EXPECT_EQ(platform.CallsNamed("CreateFileW"), 1u);

    form.Timer1Timer();  // still there
    EXPECT_EQ(Label(LabelId::LblFavsLoaded), L"Paused...");
    ui.mainAppWindowExists = false;
    form.Timer1Timer();
    EXPECT_FALSE(form.Paused());
    EXPECT_EQ(platform.CallsNamed("CreateFileW"), 2u);
}

TEST_F(Form1Test, ResetWithAndWithoutFavourites) {
    StartTool().setPriorityFails = true;
    LoadRunning();
    form.Timer1Timer();
    ASSERT_EQ(ui.picMain, PictureId::PictBad);

    // The profile breaks: the trouble picture, the window back, no timer.
    WriteProfile(L"My Favs 1", "a\t0\tHigh\r\n");
    ui.log.clear();
    form.Image1Click();
    EXPECT_FALSE(ui.timerRunning);
    EXPECT_TRUE(ui.visible);
    EXPECT_TRUE(Centred());
    EXPECT_EQ(ui.picMain, PictureId::PictBad);
    EXPECT_EQ(Label(LabelId::LblFavsLoaded), L"Favorites: 0");
    EXPECT_EQ(Label(LabelId::LblPriFail), L"Priority Errors: 0");
    EXPECT_EQ(ui.log.front(), "StopTimer1");

    // Mended: the all-well picture and the timer again.
    WriteGoodProfile();
    form.Image1Click();
    EXPECT_TRUE(ui.timerRunning);
    EXPECT_EQ(ui.picMain, PictureId::PicOK);
    EXPECT_EQ(Label(LabelId::LblFavsLoaded), L"Favorites: 1");
}

TEST_F(Form1Test, EveryYieldOfATickOrResetHappensWithTheTimerStopped) {
    LoadRunning();
    int yieldsWithTimer = 0;
    ui.onYield = [&] { yieldsWithTimer += ui.timerRunning; };
    ui.mainAppWindowExists = true;
    form.Timer1Timer();
    platform.files.clear();  // the resume finds no profile: ShowBadState yields
    ui.mainAppWindowExists = false;
    form.Timer1Timer();
    EXPECT_EQ(ui.yields, 1);
    EXPECT_EQ(yieldsWithTimer, 0);
}

TEST_F(Form1Test, HandOver) {
    struct Case {
        const char* name;
        std::wstring directory;
        int answer;
        bool launches;
        std::wstring file;
    };
    for (const Case& c : {Case{"answered No", L"C:\\Apps\\Marrowbine", 7, false, L""},
                          Case{"Yes from a drive root", L"C:\\", 6, true, L"C:\\Marrowbine64.exe"},
                          Case{"Yes from a folder", L"C:\\Apps\\Marrowbine", 6, true,
                               L"C:\\Apps\\Marrowbine\\Marrowbine64.exe"},
                          Case{"Yes, launch fails", L"C:\\Apps\\Marrowbine", 6, false,
                               L"C:\\Apps\\Marrowbine\\Marrowbine64.exe"}}) {
        SCOPED_TRACE(c.name);
        FakePlatform p;
        p.programDirectory = c.directory;
        std::wstring dir = c.directory.back() == L'\\' ? c.directory : c.directory + L"\\";
        p.files[dir + L"My Favs 1"] = "h\r\na\t0\tHigh\tC:\\Apps\\tool.exe\r\n";
        Module1 m{p};
        FakeToolkit t;
        Form1 f{m, t};
        t.form = &f;
        f.FormLoad();
        ASSERT_TRUE(t.timerRunning);
        t.messageBoxAnswer = c.answer;
        t.launchSucceeds = c.launches;
        t.log.clear();
        f.Image3Click();

        ASSERT_EQ(t.boxes.size(), 1u);
        EXPECT_EQ(t.boxes[0].prompt, L"Exit and launch Marrowbine 64?");
        EXPECT_EQ(t.boxes[0].title, L"Switch to Marrowbine64");
        EXPECT_EQ(t.boxes[0].buttons, 4u);
        if (c.answer == 6) {
            ASSERT_EQ(t.launches.size(), 1u);
            EXPECT_EQ(t.launches[0].first, c.file);
            EXPECT_EQ(t.launches[0].second, 4);
        } else {
            EXPECT_TRUE(t.launches.empty());
        }
        if (c.launches) {
            EXPECT_EQ(t.log, (std::vector<std::string>{"MessageBox", "Launch", "Yield", "StopTimer1",
                                                       "NIM_DELETE", "DestroyWindow"}));
            EXPECT_EQ(t.trayCalls.back().second.bytes, t.trayCalls.front().second.bytes);
            EXPECT_TRUE(f.Unloaded());
        } else {
            // Nothing changes: the window stays, enforcement goes on.
            EXPECT_FALSE(t.destroyed);
            EXPECT_TRUE(t.timerRunning);
            EXPECT_EQ(t.TrayCalls(kNimDelete), 0u);
            EXPECT_EQ(t.yields, 2);
            EXPECT_FALSE(f.Unloaded());
        }
    }
}

TEST_F(Form1Test, OnlyTrayCodes515And517ActAtEveryDisplayScale) {
    for (int dpi : {96, 108, 110, 115, 120, 125, 130, 132, 144, 150, 168, 192, 200, 216, 264, 336}) {
        // As the window has them: twips per pixel from the screen's dots per inch, and X
        // as the callback's pixel code times that, each a single-precision value.
        const float tpp = 1440.0f / static_cast<float>(dpi);
        for (int code : {0, 1, 512, 513, 514, 515, 516, 517, 518, 519, 520, 1539}) {
            SCOPED_TRACE(::testing::Message() << dpi << " dpi, code " << code);
            FakePlatform p;
            Module1 m{p};
            FakeToolkit t;
            Form1 f{m, t};
            t.form = &f;
            t.twipsPerPixel = tpp;
            t.state = WindowState::Minimized;
            t.left = 100;
            f.FormMouseMove(1, 2, static_cast<float>(code) * tpp, 517.0f * tpp);
            if (code == 515) {
                EXPECT_EQ(t.log, (std::vector<std::string>{"Normal", "Show", "Move", "Yield"}));
                EXPECT_TRUE(t.visible);
                EXPECT_EQ(t.left, (t.screenWidth - t.width) / 2);
                EXPECT_EQ(t.top, (t.screenHeight - t.height) / 2);
            } else if (code == 517) {
                EXPECT_EQ(t.log, (std::vector<std::string>{"SetForegroundWindow(68284)", "PopupMenuFile"}));
                EXPECT_FALSE(t.visible);
            } else {
                EXPECT_TRUE(t.log.empty());
            }
        }
    }
    // A position between two codes is no code.
    ui.state = WindowState::Minimized;
    form.FormMouseMove(0, 0, 515.0f * 15 + 1, 0);
    form.FormMouseMove(0, 0, 517.0f * 15 - 7.5f, 0);
    EXPECT_TRUE(ui.log.empty());
}

TEST_F(Form1Test, DoubleClickOnTheIconWhileShownCentresAgain) {
    form.FormMouseMove(0, 0, 515.0f * 15, 0);
    ui.left = 0;
    ui.top = 300;
    form.FormMouseMove(0, 0, 515.0f * 15, 0);
    EXPECT_TRUE(Centred());
    EXPECT_TRUE(ui.visible);
}

TEST_F(Form1Test, Image2MinimisesIntoTheTray) {
    LoadRunning();
    form.FormMouseMove(0, 0, 515.0f * 15, 0);
    ASSERT_TRUE(ui.visible);
    form.Image2Click();
    EXPECT_FALSE(ui.visible);
    EXPECT_EQ(ui.state, WindowState::Minimized);
    EXPECT_TRUE(ui.timerRunning);
}

TEST_F(Form1Test, ExitStopsTheTimerRemovesTheIconAndUnloadsOnce) {
    LoadRunning();
    form.MnuExitClick();
    EXPECT_EQ(ui.log, (std::vector<std::string>{"StopTimer1", "NIM_DELETE", "DestroyWindow"}));
    EXPECT_EQ(ui.trayCalls.back().second.bytes, BuildTrayData(ui.window, ui.icon).bytes);
    form.Unload();  // a close request arriving afterwards
    form.TaskbarCreated();
    EXPECT_EQ(ui.TrayCalls(kNimDelete), 1u);
    EXPECT_EQ(ui.TrayCalls(kNimAdd), 1u);
}

TEST_F(Form1Test, AnEndingSessionUnloadsAsExitDoesAndACancelledOneChangesNothing) {
    LoadRunning();
    EXPECT_TRUE(form.FormQueryEndSession());
    form.FormEndSession(false);  // another program refused the logoff
    EXPECT_TRUE(ui.log.empty());
    EXPECT_FALSE(form.Unloaded());
    form.FormEndSession(true);
    EXPECT_EQ(ui.log, (std::vector<std::string>{"StopTimer1", "NIM_DELETE", "DestroyWindow"}));
}

TEST_F(Form1Test, ACloseHandledWhileTheLoadLetsEventsRunEndsIt) {
    // Each yield of a load with favourites, and the restore's of one without.
    for (const char* favourites : {"a\t0\tHigh\tC:\\Apps\\tool.exe\r\n", ""}) {
        for (int closeAt : {1, 2, 3}) {
            SCOPED_TRACE(std::string(favourites) + " closed at yield " + std::to_string(closeAt));
            FakePlatform p;
            p.files[L"C:\\Apps\\Marrowbine\\My Favs 1"] = std::string("Favourites\r\n") + favourites;
            Module1 m{p};
            FakeToolkit t;
            Form1 f{m, t};
            t.form = &f;
            t.Follow(p);
            int yields = 0;
            t.onYield = [&] {
                if (++yields == closeAt) f.Unload();
            };
            f.FormLoad();
            if (yields < closeAt) continue;
            const auto destroyed = std::find(t.log.begin(), t.log.end(), "DestroyWindow");
            ASSERT_NE(destroyed, t.log.end());
            EXPECT_EQ(std::vector<std::string>(std::next(destroyed), t.log.end()), std::vector<std::string>{});
            EXPECT_FALSE(t.timerRunning);
        }
    }
}

TEST_F(Form1Test, TaskbarCreatedAddsTheSameIconAgainAndNothingElse) {
    form.TaskbarCreated();
    EXPECT_TRUE(ui.trayCalls.empty()) << "no icon before the load event added one";

    LoadRunning();
    const auto labels = ui.labels;
    form.TaskbarCreated();
    form.TaskbarCreated();
    EXPECT_EQ(ui.log, (std::vector<std::string>{"NIM_ADD", "NIM_ADD"}));
    ASSERT_EQ(ui.trayCalls.size(), 3u);
    EXPECT_EQ(ui.trayCalls[1].second.bytes, ui.trayCalls[0].second.bytes);
    EXPECT_EQ(ui.trayCalls[2].second.bytes, ui.trayCalls[0].second.bytes);
    EXPECT_EQ(ui.labels, labels);
    EXPECT_TRUE(ui.timerRunning);
    EXPECT_FALSE(ui.visible);
    EXPECT_EQ(ui.filterRequests, 1) << "the filter is asked once, at the load";
}

TEST_F(Form1Test, ResizeHidesOnlyWhenMinimised) {
    ui.visible = true;
    ui.state = WindowState::Normal;
    form.FormResize();
    EXPECT_TRUE(ui.visible);
    ui.state = WindowState::Minimized;
    form.FormResize();
    EXPECT_FALSE(ui.visible);
}

}  // namespace
}  // namespace mjr::testing
