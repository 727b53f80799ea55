#pragma once
// What the status window's event logic needs of the windowing toolkit. The Win32 window
// implements it; the unit tests use a fake.
#include <cstdint>
#include <string>

#include "platform/platform.h"
#include "ui/tray_data.h"

namespace mjr {

enum class LabelId { LblFavsLoaded, LblFavsSet, LblFailed, LblPriFail, LblProfileUsed };

// The holders whose picture PicMain can take; None is PicMain's empty state at creation.
enum class PictureId { None, PicOK, PictBad };

enum class WindowState { Normal, Minimized };

inline constexpr Dword kNimAdd = 0;
inline constexpr Dword kNimDelete = 2;
inline constexpr std::uint32_t kMbYesNo = 4;
inline constexpr int kIdYes = 6;
inline constexpr int kSwShowNoActivate = 4;

class Toolkit {
public:
    virtual ~Toolkit() = default;

    virtual void SetLabelCaption(LabelId label, const std::wstring& text) = 0;
    virtual void SetPicMain(PictureId holder) = 0;

    virtual void StartTimer1() = 0;
    virtual void StopTimer1() = 0;

    virtual WindowState GetWindowState() = 0;
    // Changing the state runs the window's resize event before returning.
    virtual void SetWindowState(WindowState state) = 0;
    virtual void Show() = 0;
    virtual void Hide() = 0;
    // Outer size and position of the window, in twips.
    virtual float Width() = 0;
    virtual float Height() = 0;
    virtual void Move(float left, float top) = 0;
    virtual float ScreenWidth() = 0;
    virtual float ScreenHeight() = 0;
    virtual float TwipsPerPixelX() = 0;

    // 32-bit handle values, as they go into TrayData.
    virtual std::uint32_t WindowHandle() = 0;
    virtual std::uint32_t IconHandle() = 0;

    // The first NOTIFYICONDATAA form of the platform's architecture.
    virtual TrayLayout TrayRecordLayout() = 0;
    virtual WinBool ShellNotifyIcon(Dword message, const TrayData& data) = 0;
    virtual WinBool SetForegroundWindow(std::uint32_t window) = 0;
    // Lets the shell's "TaskbarCreated" broadcast reach the window even when it runs
    // elevated and the shell does not; where the system has no message filter, nothing.
    virtual void AllowTaskbarCreated() = 0;
    // mnuFile at the mouse position, default alignment, no default item; returns when closed.
    virtual void PopupMenuFile() = 0;
    // Modal; the button pressed.
    virtual int MessageBox(const std::wstring& prompt, std::uint32_t buttons,
                           const std::wstring& title) = 0;
    // Asynchronous start; false when the program could not be started.
    virtual bool Launch(const std::wstring& file, int showState) = 0;
    virtual Handle FindWindowA(const char* className, const char* windowName) = 0;

    virtual void YieldToPendingEvents() = 0;
    // Destroys the window; with no window left the message loop ends.
    virtual void DestroyWindow() = 0;
};

}  // namespace mjr
