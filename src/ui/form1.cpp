#include "ui/form1.h"

#include <cfloat>

// The tray codes are exact single-precision quotients; wider intermediates (x87 maths)
// miss them at most display scales.
#if defined(FLT_EVAL_METHOD)
static_assert(FLT_EVAL_METHOD == 0, "float arithmetic must be single precision (SSE2 on x86)");
#endif

namespace mjr {

void Form1::FormLoad() {
    ui_.Show();
    ui_.YieldToPendingEvents();  // let the window draw before it leaves the screen
    if (unloaded_) return;       // closed while events ran: the program is ending
    ui_.AllowTaskbarCreated();   // before the icon exists, so no re-creation is missed
    trayData_ = BuildTrayData(ui_.WindowHandle(), ui_.IconHandle(), ui_.TrayRecordLayout());
    ui_.ShellNotifyIcon(kNimAdd, trayData_);
    module_.platform.Sleep(0);
    ui_.SetWindowState(WindowState::Minimized);  // the resize event hides the window
    ui_.YieldToPendingEvents();
    if (unloaded_) return;
    Reset();
}

void Form1::FormMouseMove(int /*button*/, int /*shift*/, float x, float /*y*/) {
    // The tray callback arrives as a mouse move whose X is the event code in twips.
    const float code = x / ui_.TwipsPerPixelX();
    if (code == static_cast<float>(kTrayDoubleClick)) {
        RestoreWindow();
    } else if (code == static_cast<float>(kTrayRightUp)) {
        ui_.SetForegroundWindow(ui_.WindowHandle());  // so the menu closes on a click elsewhere
        ui_.PopupMenuFile();
    }
}

void Form1::FormResize() {
    if (ui_.GetWindowState() == WindowState::Minimized) ui_.Hide();
}

void Form1::FormQueryUnload(bool& /*cancel*/) {}

void Form1::FormUnload() {
    ui_.StopTimer1();
    ui_.ShellNotifyIcon(kNimDelete, trayData_);
}

void Form1::FormEndSession(bool ending) {
    if (ending) Unload();
}

void Form1::TaskbarCreated() {
    // Only an icon that was added is put back, with the very same record.
    if (unloaded_ || !trayData_.Filled()) return;
    ui_.ShellNotifyIcon(kNimAdd, trayData_);
}

void Form1::Image1Click() { Reset(); }

void Form1::Image2Click() { ui_.SetWindowState(WindowState::Minimized); }

void Form1::Image3Click() {
    try {
        if (ui_.MessageBox(kHandOverPrompt, kMbYesNo, kHandOverTitle) != kIdYes) return;
        std::wstring file = module_.platform.ProgramDirectory();
        if (file.empty() || file.back() != L'\\') file += L'\\';
        file += kMainAppExe;
        if (!ui_.Launch(file, kSwShowNoActivate)) return;
        ui_.YieldToPendingEvents();
        Unload();
    } catch (...) {
        // Any failure ends the hand-over quietly; the program keeps running.
    }
}

void Form1::MnuExitClick() { Unload(); }

void Form1::Timer1Timer() {
    if (ui_.FindWindowA(kMainAppClass, kMainAppCaption) != 0) {
        ui_.SetLabelCaption(LabelId::LblFavsLoaded, L"Paused...");
        paused_ = true;
        return;
    }
    if (paused_) {
        // The main application has gone: its profile may have changed, so start afresh.
        paused_ = false;
        Reset();
        return;
    }
    ShowFavoritesCount();
    EnforcePass(module_);
    RefreshCounters();
    const bool priorityFailed = module_.PriorityErrors.AboveZero();
    const bool affinityFailed = module_.AffinityErrors.AboveZero();
    if (priorityFailed || affinityFailed) ui_.SetPicMain(PictureId::PictBad);
}

void Form1::Unload() {
    if (unloaded_) return;
    bool cancel = false;
    FormQueryUnload(cancel);  // a close is never refused
    unloaded_ = true;
    FormUnload();
    ui_.DestroyWindow();
}

void Form1::SetProfileStatus(const std::wstring& text) {
    ui_.SetLabelCaption(LabelId::LblProfileUsed, text);
}

void Form1::Reset() {
    ui_.StopTimer1();
    module_.AffinityErrors.Reset();
    module_.PriorityErrors.Reset();
    module_.FavoritesHit.Reset();
    module_.Enforcement.LastProcessCount = 0;  // the next pass sees a change and scans
    RefreshCounters();
    LoadFavorites(module_.platform, module_.Settings, module_.Favorites, this);
    ShowFavoritesCount();
    if (module_.Favorites.Count() == 0) {
        ShowBadState();
    } else {
        ui_.SetPicMain(PictureId::PicOK);
        ui_.StartTimer1();
    }
}

void Form1::RefreshCounters() {
    ui_.SetLabelCaption(LabelId::LblFavsSet, L"Favorites Hit: " + module_.FavoritesHit.Text());
    ui_.SetLabelCaption(LabelId::LblFailed, L"Affinity Errors: " + module_.AffinityErrors.Text());
    ui_.SetLabelCaption(LabelId::LblPriFail, L"Priority Errors: " + module_.PriorityErrors.Text());
}

void Form1::ShowBadState() {
    ui_.SetPicMain(PictureId::PictBad);
    RestoreWindow();
}

void Form1::RestoreWindow() {
    ui_.SetWindowState(WindowState::Normal);
    ui_.Show();
    const float left = (ui_.ScreenWidth() - ui_.Width()) / 2.0f;
    const float top = (ui_.ScreenHeight() - ui_.Height()) / 2.0f;
    ui_.Move(left, top);
    ui_.YieldToPendingEvents();
}

void Form1::ShowFavoritesCount() {
    ui_.SetLabelCaption(LabelId::LblFavsLoaded,
                        L"Favorites: " + std::to_wstring(module_.Favorites.Count()));
}

}  // namespace mjr
