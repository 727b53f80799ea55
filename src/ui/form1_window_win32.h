#pragma once
// The status window's Win32 object: the toolkit Form1 drives, with the window's handles and
// drawing state. Only form1_window_win32.cpp uses it.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <array>
#include <cstdint>
#include <string>

#include "ui/form1.h"
#include "ui/form1_layout.h"
#include "ui/message_pump_win32.h"
#include "ui/pictures_win32.h"
#include "ui/tray_icon_win32.h"

namespace mjr {

class Form1Window final : public Toolkit {
public:
    Form1Window(Module1& module, HINSTANCE instance) : module_(module), instance_(instance) {}

    static HWND Load(Module1& module);

    // --- Toolkit ---
    void SetLabelCaption(LabelId label, const std::wstring& text) override;
    void SetPicMain(PictureId holder) override;
    void StartTimer1() override;
    void StopTimer1() override;
    WindowState GetWindowState() override {
        return IsIconic(hwnd_) ? WindowState::Minimized : WindowState::Normal;
    }
    void SetWindowState(WindowState state) override;
    void Show() override { ShowWindow(hwnd_, SW_SHOW); }
    void Hide() override { ShowWindow(hwnd_, SW_HIDE); }
    float Width() override;
    float Height() override;
    void Move(float left, float top) override;
    float ScreenWidth() override { return GetSystemMetrics(SM_CXSCREEN) * tppX_; }
    float ScreenHeight() override { return GetSystemMetrics(SM_CYSCREEN) * tppY_; }
    float TwipsPerPixelX() override { return tppX_; }
    std::uint32_t WindowHandle() override {
        return static_cast<std::uint32_t>(reinterpret_cast<UINT_PTR>(hwnd_));
    }
    std::uint32_t IconHandle() override {
        return static_cast<std::uint32_t>(reinterpret_cast<UINT_PTR>(icon_.get()));
    }
    TrayLayout TrayRecordLayout() override { return kNativeTrayLayout; }
    WinBool ShellNotifyIcon(Dword message, const TrayData& data) override {
        return tray_.Notify(message, data);
    }
    WinBool SetForegroundWindow(std::uint32_t window) override {
        // Window handles are 32-bit values, sign-extended on 64-bit Windows.
        return ::SetForegroundWindow(reinterpret_cast<HWND>(static_cast<INT_PTR>(static_cast<std::int32_t>(window))));
    }
    void AllowTaskbarCreated() override { AllowMessageThroughFilter(hwnd_, taskbarCreated_); }
    void PopupMenuFile() override;
    int MessageBox(const std::wstring& prompt, std::uint32_t buttons, const std::wstring& title) override {
        return MessageBoxW(hwnd_, prompt.c_str(), title.c_str(), buttons);
    }
    bool Launch(const std::wstring& file, int showState) override;
    Handle FindWindowA(const char* className, const char* windowName) override {
        return reinterpret_cast<Handle>(::FindWindowA(className, windowName));
    }
    void YieldToPendingEvents() override;
    void DestroyWindow() override {
        if (hwnd_ && !destroying_) ::DestroyWindow(hwnd_);
    }

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // Deletes the object once its window is gone and no call into it is still running.
    static void Leave(Form1Window* self);

    void Create();
    void Paint();
    void ClickAt(ControlId id);
    void FitLabel(std::size_t index);
    void InvalidateControl(std::size_t index);

    Module1& module_;
    HINSTANCE instance_;
    HWND hwnd_ = nullptr;
    int depth_ = 0;
    bool destroying_ = false;
    float tppX_ = 15;
    float tppY_ = 15;
    UINT taskbarCreated_ = 0;
    bool timerRunning_ = false;
    PictureId picMain_ = PictureId::None;
    ImageButtonPress press_;
    ControlRects rects_{};
    std::array<std::wstring, kForm1Controls.size()> captions_{};

    mjr::IconHandle icon_;
    mjr::IconHandle image3_;
    GdiObject<HBITMAP> image1_;
    GdiObject<HBITMAP> image2_;
    OlePicture picOK_;
    OlePicture pictBad_;
    GdiObject<HFONT> counterFont_;
    MenuHandle menuBar_;
    HWND tooltip_ = nullptr;  // owned by this window: goes with it
    TrayIcon tray_;

    Form1 form_{module_, *this};
};

}  // namespace mjr
