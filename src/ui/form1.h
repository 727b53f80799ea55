#pragma once
// The status window's behaviour: its events and private procedures over a toolkit.
#include <string>

#include "engine/engine.h"
#include "profile/load_favorites.h"
#include "ui/toolkit.h"
#include "ui/tray_data.h"

namespace mjr {

inline constexpr char kMainAppClass[] = "ThunderRT6FormDC";
inline constexpr char kMainAppCaption[] = "Marrowbine64";
inline constexpr wchar_t kMainAppExe[] = L"Marrowbine64.exe";
inline constexpr wchar_t kHandOverPrompt[] = L"Exit and launch Marrowbine 64?";
inline constexpr wchar_t kHandOverTitle[] = L"Switch to Marrowbine64";
inline constexpr int kTrayDoubleClick = 515;  // WM_LBUTTONDBLCLK
inline constexpr int kTrayRightUp = 517;      // WM_RBUTTONUP

class Form1 final : public ProfileStatusLabel {
public:
    Form1(Module1& module, Toolkit& toolkit) noexcept : module_(module), ui_(toolkit) {}

    // Window events.
    void FormLoad();
    void FormMouseMove(int button, int shift, float x, float y);
    void FormResize();
    void FormQueryUnload(bool& cancel);
    void FormUnload();
    // Logoff, or an installer's Restart Manager closing the program (ENDSESSION_CLOSEAPP):
    // the query is never refused, and an ending session unloads as "Exit Jr" does.
    bool FormQueryEndSession() const noexcept { return true; }
    void FormEndSession(bool ending);
    // The shell re-created the notification area.
    void TaskbarCreated();

    // Control events.
    void Image1Click();
    void Image2Click();
    void Image3Click();
    void MnuExitClick();
    void Timer1Timer();

    // Any close request: query-unload, unload event, then the window goes. Runs once.
    void Unload();

    void SetProfileStatus(const std::wstring& text) override;

    bool Paused() const noexcept { return paused_; }
    bool Unloaded() const noexcept { return unloaded_; }
    const TrayData& Tray() const noexcept { return trayData_; }

private:
    void Reset();
    void RefreshCounters();
    void ShowBadState();
    void RestoreWindow();
    void ShowFavoritesCount();

    Module1& module_;
    Toolkit& ui_;
    TrayData trayData_;
    bool paused_ = false;
    bool unloaded_ = false;
};

}  // namespace mjr
