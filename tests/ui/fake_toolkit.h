#pragma once
// A toolkit that records what the window logic asks of it and models the window's state.
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/fake_platform.h"
#include "ui/form1.h"
#include "ui/toolkit.h"

namespace mjr::testing {

class FakeToolkit : public Toolkit {
public:
    Form1* form = nullptr;  // gets the resize event when the state changes

    // --- the world ---
    float screenWidth = 15360, screenHeight = 11520, twipsPerPixel = 15;
    float width = 4140, height = 1905;  // outer size in twips
    std::uint32_t window = 0x00010ABC, icon = 0x00200DEF;
    bool mainAppWindowExists = false;
    int messageBoxAnswer = 7;  // IDNO
    bool launchSucceeds = true;
    std::function<void()> onYield;

    // --- the state ---
    std::map<LabelId, std::wstring> labels;
    PictureId picMain = PictureId::None;
    bool timerRunning = false;
    WindowState state = WindowState::Normal;
    bool visible = false;
    float left = 60, top = -1470;
    bool destroyed = false;

    // --- what happened ---
    std::vector<std::string> log;
    std::vector<std::pair<Dword, TrayData>> trayCalls;
    struct Box { std::wstring prompt; std::uint32_t buttons; std::wstring title; };
    std::vector<Box> boxes;
    std::vector<std::pair<std::wstring, int>> launches;
    std::vector<std::pair<std::string, std::string>> findWindowCalls;
    int yields = 0;
    int filterRequests = 0;

    // The platform calls that order matters for go into the log among the toolkit's own.
    void Follow(FakePlatform& platform) {
        platform.onCall = [this](const std::string& call) {
            if (call.rfind("Sleep", 0) == 0) log.push_back(call);
            for (const char* name : {"CreateFileW", "EnumProcesses"})
                if (call.rfind(name, 0) == 0) log.push_back(name);
        };
    }

    static std::string LabelName(LabelId label) {
        switch (label) {
            case LabelId::LblFavsLoaded: return "LblFavsLoaded";
            case LabelId::LblFavsSet: return "LblFavsSet";
            case LabelId::LblFailed: return "LblFailed";
            case LabelId::LblPriFail: return "LblPriFail";
            case LabelId::LblProfileUsed: return "LblProfileUsed";
        }
        return "?";
    }

    // "LblFavsSet: Favorites Hit: 0": which label, and its text (ASCII in these tests).
    void SetLabelCaption(LabelId label, const std::wstring& text) override {
        std::string entry = LabelName(label) + ": ";
        for (wchar_t c : text) entry += c < 0x80 ? static_cast<char>(c) : '?';
        log.push_back(entry);
        labels[label] = text;
    }
    void SetPicMain(PictureId holder) override {
        log.push_back(holder == PictureId::PictBad ? "SetPicMain(PictBad)" : "SetPicMain(PicOK)");
        picMain = holder;
    }
    void StartTimer1() override { log.push_back("StartTimer1"); timerRunning = true; }
    void StopTimer1() override { log.push_back("StopTimer1"); timerRunning = false; }
    WindowState GetWindowState() override { return state; }
    void SetWindowState(WindowState s) override {
        log.push_back(s == WindowState::Minimized ? "Minimize" : "Normal");
        if (s == WindowState::Normal && state == WindowState::Minimized) visible = true;
        state = s;
        if (form) form->FormResize();
    }
    void Show() override { log.push_back("Show"); visible = true; }
    void Hide() override { log.push_back("Hide"); visible = false; }
    float Width() override { return width; }
    float Height() override { return height; }
    void Move(float l, float t) override {
        log.push_back("Move");
        left = l;
        top = t;
    }
    float ScreenWidth() override { return screenWidth; }
    float ScreenHeight() override { return screenHeight; }
    float TwipsPerPixelX() override { return twipsPerPixel; }
    TrayLayout TrayRecordLayout() override { return kTrayLayout32; }
    std::uint32_t WindowHandle() override { return window; }
    std::uint32_t IconHandle() override { return icon; }
    WinBool ShellNotifyIcon(Dword message, const TrayData& data) override {
        log.push_back(message == kNimAdd ? "NIM_ADD" : "NIM_DELETE");
        trayCalls.emplace_back(message, data);
        return 1;
    }
    WinBool SetForegroundWindow(std::uint32_t w) override {
        log.push_back("SetForegroundWindow(" + std::to_string(w) + ")");
        return 1;
    }
    void AllowTaskbarCreated() override {
        log.push_back("AllowTaskbarCreated");
        ++filterRequests;
    }
    void PopupMenuFile() override { log.push_back("PopupMenuFile"); }
    int MessageBox(const std::wstring& prompt, std::uint32_t buttons, const std::wstring& title) override {
        log.push_back("MessageBox");
        boxes.push_back({prompt, buttons, title});
        return messageBoxAnswer;
    }
    bool Launch(const std::wstring& file, int showState) override {
        log.push_back("Launch");
        launches.emplace_back(file, showState);
        return launchSucceeds;
    }
    Handle FindWindowA(const char* className, const char* windowName) override {
        findWindowCalls.emplace_back(className, windowName);
        return mainAppWindowExists ? 0x777 : 0;
    }
    void YieldToPendingEvents() override {
        log.push_back("Yield");
        ++yields;
        if (onYield) onYield();
    }
    void DestroyWindow() override {
        log.push_back("DestroyWindow");
        destroyed = true;
    }

    std::size_t TrayCalls(Dword message) const {
        std::size_t n = 0;
        for (const auto& c : trayCalls) n += c.first == message;
        return n;
    }
};

}  // namespace mjr::testing
