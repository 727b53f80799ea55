// The status window on Win32: paints the layout, dispatches events to Form1 and carries
// out what Form1 asks of the toolkit.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <array>
#include <cmath>
#include <memory>
#include <optional>
#include <string>

#include "ui/form1.h"
#include "ui/form1_layout.h"
#include "ui/form1_win32.h"
#include "ui/form1_window_win32.h"
#include "ui/message_pump_win32.h"
#include "ui/pictures_win32.h"
#include "ui/resource_ids.h"
#include "ui/tray_icon_win32.h"

namespace mjr {
namespace {

constexpr wchar_t kClassName[] = L"MarrowbineJrForm1";
constexpr UINT_PTR kTimer1 = 1;
constexpr UINT kMnuExit = 1001;
constexpr int kIconSize = 32;

constexpr std::size_t IndexOf(ControlId id) {
    for (std::size_t i = 0; i < kForm1Controls.size(); ++i)
        if (kForm1Controls[i].id == id) return i;
    return 0;
}

constexpr ControlId LabelControl(LabelId label) {
    switch (label) {
        case LabelId::LblFavsLoaded: return ControlId::LblFavsLoaded;
        case LabelId::LblFavsSet: return ControlId::LblFavsSet;
        case LabelId::LblFailed: return ControlId::LblFailed;
        case LabelId::LblPriFail: return ControlId::LblPriFail;
        case LabelId::LblProfileUsed: break;
    }
    return ControlId::LblProfileUsed;
}

RECT ToRect(const PixelRect& r) { return {r.left, r.top, r.left + r.width, r.top + r.height}; }

class WindowDc {
public:
    explicit WindowDc(HWND window) noexcept : window_(window), dc_(GetDC(window)) {}
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    ~WindowDc() {
        if (dc_) ReleaseDC(window_, dc_);
    }
    HDC get() const noexcept { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

// A memory DC with one object selected into it, put back before the DC goes.
class MemoryDc {
public:
    MemoryDc(HDC compatible, HGDIOBJ object) noexcept : dc_(CreateCompatibleDC(compatible)) {
        if (dc_ && object) old_ = SelectObject(dc_, object);
    }
    MemoryDc(const MemoryDc&) = delete;
    MemoryDc& operator=(const MemoryDc&) = delete;
    ~MemoryDc() {
        if (!dc_) return;
        if (old_) SelectObject(dc_, old_);
        DeleteDC(dc_);
    }
    HDC get() const noexcept { return dc_; }

private:
    HDC dc_;
    HGDIOBJ old_ = nullptr;
};


}  // namespace

HWND Form1Window::Load(Module1& module) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &Form1Window::WindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    wc.lpszClassName = kClassName;
    if (!RegisterClassExW(&wc)) return nullptr;

    // The design position: the client area's top-left at 60, -1470 twips, above the screen.
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    float tppX = 15, tppY = 15;
    {
        WindowDc screen(nullptr);
        if (screen.get()) {
            tppX = 1440.0f / static_cast<float>(GetDeviceCaps(screen.get(), LOGPIXELSX));
            tppY = 1440.0f / static_cast<float>(GetDeviceCaps(screen.get(), LOGPIXELSY));
        }
    }
    RECT frame{TwipsToPixels(kForm1.left, tppX), TwipsToPixels(kForm1.top, tppY), 0, 0};
    frame.right = frame.left + TwipsToPixels(kForm1.clientWidth, tppX);
    frame.bottom = frame.top + TwipsToPixels(kForm1.clientHeight, tppY);
    AdjustWindowRectEx(&frame, style, FALSE, 0);

    // The window owns the object from WM_NCCREATE until WM_NCDESTROY.
    auto owner = std::make_unique<Form1Window>(module, instance);
    Form1Window* self = owner.get();
    self->tppX_ = tppX;
    self->tppY_ = tppY;
    const std::wstring caption(kForm1.caption);
    HWND window = CreateWindowExW(0, kClassName, caption.c_str(), style, frame.left, frame.top,
                                  frame.right - frame.left, frame.bottom - frame.top, nullptr,
                                  nullptr, instance, &owner);
    if (!window) return nullptr;

    ++self->depth_;
    self->form_.FormLoad();
    HWND const loaded = self->hwnd_;
    Leave(self);
    return loaded;
}

LRESULT CALLBACK Form1Window::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        auto* owner = static_cast<std::unique_ptr<Form1Window>*>(create->lpCreateParams);
        Form1Window* self = owner->release();
        self->hwnd_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<Form1Window*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self) return DefWindowProcW(window, message, wParam, lParam);

    ++self->depth_;
    LRESULT result = 0;
    try {
        result = self->OnMessage(message, wParam, lParam);
    } catch (...) {
        // Nothing may unwind into the system's code; the event is lost.
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
    }
    Leave(self);
    return result;
}

void Form1Window::Leave(Form1Window* self) {
    if (--self->depth_ == 0 && self->hwnd_ == nullptr) delete self;
}

LRESULT Form1Window::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (taskbarCreated_ != 0 && message == taskbarCreated_) {
        form_.TaskbarCreated();
        return 0;
    }
    switch (message) {
        case WM_CREATE:
            Create();
            return 0;
        case WM_ERASEBKGND:
            return 1;  // the paint covers the whole client area
        case WM_PAINT:
            Paint();
            return 0;
        case WM_SIZE:
            form_.FormResize();
            return 0;
        case WM_MOUSEMOVE: {
            // A drag of a pressed image button is no window event: only the window's own
            // moves, the tray callback among them, reach the form.
            if (!press_.MoveIsWindowEvent()) return 0;
            // The tray callback comes this way too, its event code in place of X.
            const auto x = static_cast<short>(LOWORD(lParam));
            const auto y = static_cast<short>(HIWORD(lParam));
            const int button = (wParam & MK_LBUTTON ? 1 : 0) | (wParam & MK_RBUTTON ? 2 : 0) |
                               (wParam & MK_MBUTTON ? 4 : 0);
            const int shift = (wParam & MK_SHIFT ? 1 : 0) | (wParam & MK_CONTROL ? 2 : 0);
            form_.FormMouseMove(button, shift, static_cast<float>(x) * tppX_,
                                static_cast<float>(y) * tppY_);
            return 0;
        }
        case WM_LBUTTONDOWN:
            if (press_.Press(static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)), rects_))
                SetCapture(hwnd_);
            return 0;
        case WM_LBUTTONUP: {
            const auto clicked = press_.Release(static_cast<short>(LOWORD(lParam)),
                                                static_cast<short>(HIWORD(lParam)), rects_);
            if (GetCapture() == hwnd_) ReleaseCapture();
            if (clicked) ClickAt(*clicked);
            return 0;
        }
        case WM_CAPTURECHANGED:
            press_.CaptureLost();  // taken away mid-press: that press clicks nothing
            return 0;
        case kResetRequestedMessage:
            form_.Image1Click();
            return 0;
        case WM_COMMAND:
            if (LOWORD(wParam) == kMnuExit && HIWORD(wParam) == 0) form_.MnuExitClick();
            return 0;
        case WM_TIMER:
            // A tick already queued when the timer was stopped does not count.
            if (wParam == kTimer1 && timerRunning_) form_.Timer1Timer();
            return 0;
        case WM_QUERYENDSESSION:
            return form_.FormQueryEndSession() ? TRUE : FALSE;
        case WM_ENDSESSION:
            form_.FormEndSession(wParam != FALSE);
            return 0;
        case WM_CLOSE:
            form_.Unload();
            return 0;
        case WM_DESTROY:
            destroying_ = true;
            form_.Unload();  // ends by itself when the unload already ran
            if (tooltip_ && IsWindow(tooltip_)) ::DestroyWindow(tooltip_);
            tooltip_ = nullptr;
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(hwnd_, message, wParam, lParam);
    }
}

void Form1Window::Create() {
    taskbarCreated_ = RegisterWindowMessageW(L"TaskbarCreated");
    icon_ = LoadIconResource(instance_, MJR_IDI_FORM1, kIconSize);
    image3_ = LoadIconFromRcData(instance_, MJR_IDR_IMAGE3, kIconSize);
    image1_ = LoadBitmapResource(instance_, MJR_IDB_IMAGE1);
    image2_ = LoadBitmapResource(instance_, MJR_IDB_IMAGE2);
    picOK_ = OlePicture::FromRcData(instance_, MJR_IDR_PICOK);
    pictBad_ = OlePicture::FromRcData(instance_, MJR_IDR_PICTBAD);
    SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_.get()));
    SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_.get()));

    {
        WindowDc dc(hwnd_);
        const int height = -MulDiv(kCounterFont.points, GetDeviceCaps(dc.get(), LOGPIXELSY), 72);
        const std::wstring face(kCounterFont.face);
        counterFont_ = GdiObject<HFONT>(CreateFontW(
            height, 0, 0, 0, kCounterFont.weight, kCounterFont.italic, kCounterFont.underline,
            kCounterFont.strikeout, static_cast<DWORD>(kCounterFont.charset), OUT_DEFAULT_PRECIS,
            CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face.c_str()));
    }

    // Pictures show at their natural size.
    const SIZE image1 = BitmapSize(image1_.get()), image2 = BitmapSize(image2_.get()),
               image3 = IconSize(image3_.get()), ok = picOK_.size(), bad = pictBad_.size();
    rects_ = ControlPixels(tppX_, tppY_,
                           {{ControlId::Image1, image1.cx, image1.cy},
                            {ControlId::Image2, image2.cx, image2.cy},
                            {ControlId::Image3, image3.cx, image3.cy},
                            {ControlId::PicOK, ok.cx, ok.cy},
                            {ControlId::PictBad, bad.cx, bad.cy}});
    for (std::size_t i = 0; i < kForm1Controls.size(); ++i) captions_[i] = std::wstring(kForm1Controls[i].text);

    // The hidden top-level menu "m" whose only item serves as the tray pop-up.
    menuBar_ = MenuHandle(CreateMenu());
    HMENU file = CreatePopupMenu();
    const std::wstring exitCaption(kForm1.exitCaption), menuCaption(kForm1.menuCaption);
    AppendMenuW(file, MF_STRING, kMnuExit, exitCaption.c_str());
    AppendMenuW(menuBar_.get(), MF_POPUP, reinterpret_cast<UINT_PTR>(file), menuCaption.c_str());

    tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                               WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr, instance_, nullptr);
    for (std::size_t i = 0; i < kForm1Controls.size() && tooltip_; ++i) {
        const ControlSpec& c = kForm1Controls[i];
        if (c.tooltip.empty()) continue;
        TOOLINFOW tool{};
        tool.cbSize = TTTOOLINFOW_V2_SIZE;
        tool.uFlags = TTF_SUBCLASS;
        tool.hwnd = hwnd_;
        tool.uId = i;
        tool.rect = ToRect(rects_[i]);
        tool.hinst = instance_;
        tool.lpszText = const_cast<wchar_t*>(c.tooltip.data());  // a literal: NUL-terminated
        SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

void Form1Window::Paint() {
    PAINTSTRUCT ps;
    HDC target = BeginPaint(hwnd_, &ps);
    if (!target) return;
    RECT client;
    GetClientRect(hwnd_, &client);
    GdiObject<HBITMAP> buffer(CreateCompatibleBitmap(target, client.right, client.bottom));
    {
        MemoryDc dc(target, buffer.get());
        HBRUSH back = CreateSolidBrush(kForm1.backColor);
        FillRect(dc.get(), &client, back);
        DeleteObject(back);
        SetBkMode(dc.get(), TRANSPARENT);
        SetTextColor(dc.get(), GetSysColor(COLOR_BTNTEXT));

        auto blit = [&](HBITMAP bitmap, const PixelRect& r) {
            if (!bitmap) return;
            MemoryDc source(dc.get(), bitmap);
            const SIZE size = BitmapSize(bitmap);
            BitBlt(dc.get(), r.left, r.top, size.cx, size.cy, source.get(), 0, 0, SRCCOPY);
        };
        // Back to front, so each control covers the ones behind it.
        for (std::size_t i = kForm1Controls.size(); i-- > 0;) {
            const ControlSpec& c = kForm1Controls[i];
            if (!c.visible) continue;
            const PixelRect& r = rects_[i];
            switch (c.id) {
                case ControlId::PicMain:
                    if (picMain_ == PictureId::PicOK) blit(picOK_.bitmap(), r);
                    if (picMain_ == PictureId::PictBad) blit(pictBad_.bitmap(), r);
                    break;
                case ControlId::Image1: blit(image1_.get(), r); break;
                case ControlId::Image2: blit(image2_.get(), r); break;
                case ControlId::Image3:
                    if (image3_.get())
                        DrawIconEx(dc.get(), r.left, r.top, image3_.get(), kIconSize, kIconSize, 0,
                                   nullptr, DI_NORMAL);
                    break;
                default:
                    if (c.kind == ControlKind::Label) {
                        HGDIOBJ font = c.font ? static_cast<HGDIOBJ>(counterFont_.get())
                                              : GetStockObject(DEFAULT_GUI_FONT);
                        HGDIOBJ old = SelectObject(dc.get(), font);
                        RECT box = ToRect(r);
                        const UINT align = c.align == TextAlign::Center ? DT_CENTER : DT_LEFT;
                        const UINT wrap = c.fitToText ? DT_SINGLELINE : DT_WORDBREAK;
                        DrawTextW(dc.get(), captions_[i].c_str(), -1, &box, align | wrap | DT_NOPREFIX);
                        SelectObject(dc.get(), old);
                    }
                    break;
            }
        }
        BitBlt(target, 0, 0, client.right, client.bottom, dc.get(), 0, 0, SRCCOPY);
    }
    EndPaint(hwnd_, &ps);
}

void Form1Window::ClickAt(ControlId id) {
    switch (id) {
        case ControlId::Image1: form_.Image1Click(); break;
        case ControlId::Image2: form_.Image2Click(); break;
        case ControlId::Image3: form_.Image3Click(); break;
        default: break;
    }
}

void Form1Window::SetLabelCaption(LabelId label, const std::wstring& text) {
    const std::size_t i = IndexOf(LabelControl(label));
    if (captions_[i] == text) return;
    InvalidateControl(i);
    captions_[i] = text;
    if (kForm1Controls[i].fitToText) FitLabel(i);
    InvalidateControl(i);
}

void Form1Window::FitLabel(std::size_t i) {
    WindowDc dc(hwnd_);
    if (!dc.get()) return;
    HGDIOBJ old = SelectObject(dc.get(), counterFont_.get());
    SIZE extent{};
    TEXTMETRICW metrics{};
    GetTextExtentPoint32W(dc.get(), captions_[i].c_str(), static_cast<int>(captions_[i].size()), &extent);
    GetTextMetricsW(dc.get(), &metrics);
    SelectObject(dc.get(), old);
    rects_[i].width = extent.cx;  // left and top stay
    rects_[i].height = metrics.tmHeight;
}

void Form1Window::InvalidateControl(std::size_t i) {
    const RECT r = ToRect(rects_[i]);
    InvalidateRect(hwnd_, &r, FALSE);
}

void Form1Window::SetPicMain(PictureId holder) {
    if (picMain_ == holder) return;
    picMain_ = holder;
    InvalidateControl(IndexOf(ControlId::PicMain));
}

void Form1Window::StartTimer1() {
    if (timerRunning_) return;
    if (SetTimer(hwnd_, kTimer1, kForm1.timerIntervalMs, nullptr)) timerRunning_ = true;
}

void Form1Window::StopTimer1() {
    if (!timerRunning_) return;
    KillTimer(hwnd_, kTimer1);
    timerRunning_ = false;
}

void Form1Window::SetWindowState(WindowState state) {
    // ShowWindow sends WM_SIZE before it returns, so the resize event runs inside.
    if (state == WindowState::Minimized) {
        if (!IsIconic(hwnd_)) ShowWindow(hwnd_, SW_MINIMIZE);
    } else if (IsIconic(hwnd_)) {
        ShowWindow(hwnd_, SW_RESTORE);
    }
}

float Form1Window::Width() {
    RECT r{};
    GetWindowRect(hwnd_, &r);
    return static_cast<float>(r.right - r.left) * tppX_;
}

float Form1Window::Height() {
    RECT r{};
    GetWindowRect(hwnd_, &r);
    return static_cast<float>(r.bottom - r.top) * tppY_;
}

void Form1Window::Move(float left, float top) {
    SetWindowPos(hwnd_, nullptr, static_cast<int>(std::lround(left / tppX_)),
                 static_cast<int>(std::lround(top / tppY_)), 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Form1Window::PopupMenuFile() {
    POINT at{};
    GetCursorPos(&at);
    TrackPopupMenuEx(GetSubMenu(menuBar_.get(), 0), TPM_LEFTALIGN | TPM_TOPALIGN | TPM_LEFTBUTTON,
                     at.x, at.y, hwnd_, nullptr);
    // Without a message to the window after a notification-icon menu, Windows may leave the
    // menu open on a click elsewhere or drop it at the next right-click.
    PostMessageW(hwnd_, WM_NULL, 0, 0);
}

bool Form1Window::Launch(const std::wstring& file, int showState) {
    // Straight to the file, never through the shell: its per-user file associations are
    // what any process of the user can rewrite, and the command would run with our rights.
    // Started in its own folder; a failure (ERROR_ELEVATION_REQUIRED included) shows nothing.
    const std::size_t slash = file.find_last_of(L'\\');
    if (slash == std::wstring::npos) return false;
    std::wstring folder = file.substr(0, slash);
    if (folder.size() == 2 && folder[1] == L':') folder += L'\\';
    std::wstring commandLine = L"\"" + file + L"\"";  // CreateProcessW may write to it
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(showState);
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(file.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                        &startup, &started))
        return false;
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    return true;
}

void Form1Window::YieldToPendingEvents() { PumpPendingMessages(); }

Handle LoadForm1Win32(Module1& module) { return reinterpret_cast<Handle>(Form1Window::Load(module)); }

}  // namespace mjr
