#pragma once
// Form1 as designed: the window's own values and every control, front to back.
// Places and sizes are twips from the client area's top-left corner.
#include <array>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string_view>

namespace mjr {

enum class ControlId {
    Timer1, Image3, Image2, Image1, LblProfileUsed, LblFavsLoaded, LblFavsSet, LblFailed,
    LblPriFail, PictBad, PicOK, PicMain,
};

enum class ControlKind { Timer, ImageButton, Label, PictureHolder, StatePicture };

enum class TextAlign { Left, Center };

struct TwipRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

struct FontSpec {
    std::wstring_view face;
    int points = 0;
    int weight = 400;
    bool italic = false;
    bool underline = false;
    bool strikeout = false;
    int charset = 0;
};

inline constexpr FontSpec kCounterFont{L"Tahoma", 9, 400, false, false, false, 0};

struct ControlSpec {
    ControlId id;
    ControlKind kind;
    std::string_view name;
    TwipRect rect;
    std::wstring_view text;     // labels: caption at creation
    std::wstring_view tooltip;  // image buttons
    bool visible = true;
    const FontSpec* font = nullptr;  // null: the window's font
    TextAlign align = TextAlign::Left;
    bool fitToText = false;  // grows with its text, keeping left and top
};

struct FormSpec {
    std::wstring_view caption;
    std::uint32_t backColor;  // 0x00BBGGRR
    int clientWidth;
    int clientHeight;
    int left;  // client area's top-left when first shown
    int top;
    std::wstring_view menuCaption;
    std::wstring_view exitCaption;
    unsigned timerIntervalMs;
    bool timerEnabled;
};

inline constexpr FormSpec kForm1{
    L"  Marrowbine Jr.", 0x00FFFFFF, 4020, 1410, 60, -1470, L"m", L"Exit Jr", 500, false,
};

inline constexpr std::array<ControlSpec, 12> kForm1Controls{{
    {ControlId::Timer1, ControlKind::Timer, "Timer1", {}, {}, {}, false},
    {ControlId::Image3, ControlKind::ImageButton, "Image3", {3060, 705, 480, 480}, {},
     L"Switch to Marrowbine64"},
    {ControlId::Image2, ControlKind::ImageButton, "Image2", {3315, 240, 360, 360}, {}, L"Minimize"},
    {ControlId::Image1, ControlKind::ImageButton, "Image1", {2790, 240, 360, 360}, {},
     L"Reset Counts"},
    {ControlId::LblProfileUsed, ControlKind::Label, "LblProfileUsed", {135, 1185, 3780, 210},
     L"Favorite Profile: Not Loaded!", {}, true, nullptr, TextAlign::Center, false},
    {ControlId::LblFavsLoaded, ControlKind::Label, "LblFavsLoaded", {720, 165, 1170, 210},
     L"LblFavsLoaded", {}, true, &kCounterFont, TextAlign::Left, true},
    {ControlId::LblFavsSet, ControlKind::Label, "LblFavsSet", {720, 405, 855, 210}, L"LblFavsSet",
     {}, true, &kCounterFont, TextAlign::Left, true},
    {ControlId::LblFailed, ControlKind::Label, "LblFailed", {720, 645, 1095, 210},
     L"Affinity Errors", {}, true, &kCounterFont, TextAlign::Left, true},
    {ControlId::LblPriFail, ControlKind::Label, "LblPriFail", {720, 885, 1020, 210},
     L"PriorityErrors", {}, true, &kCounterFont, TextAlign::Left, true},
    {ControlId::PictBad, ControlKind::PictureHolder, "PictBad", {105, 4260, 3885, 1200}, {}, {},
     false},
    {ControlId::PicOK, ControlKind::PictureHolder, "PicOK", {240, 2910, 3885, 1200}, {}, {},
     false},
    {ControlId::PicMain, ControlKind::StatePicture, "PicMain", {60, 75, 3885, 1200}, {}, {}, true},
}};

// Twips to whole pixels, to the nearest.
int TwipsToPixels(int twips, float twipsPerPixel);

struct PixelRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool Contains(int x, int y) const noexcept {
        return x >= left && y >= top && x < left + width && y < top + height;
    }
};

PixelRect ToPixels(const TwipRect& r, float twipsPerPixelX, float twipsPerPixelY);

using ControlRects = std::array<PixelRect, kForm1Controls.size()>;

struct PictureSize {
    ControlId control;
    int width = 0;
    int height = 0;
};

// Every control in pixels at the screen's scale. An image control is the size of its
// picture, never scaled: each picture given (of a size above 0) replaces its design size.
ControlRects ControlPixels(float twipsPerPixelX, float twipsPerPixelY,
                           std::initializer_list<PictureSize> pictures);

// The front-most visible image button or label under a client point; labels take the
// point but report nothing, so only an image button comes back.
std::optional<ControlId> ImageButtonAt(int x, int y, const ControlRects& currentRects);

// A left press on an image button, up to its release. The pressed button holds the mouse
// capture, so every move until the release is a drag of that button, wherever the mouse
// is: none of them is the window's own mouse-move event, which carries the tray codes.
class ImageButtonPress {
public:
    // True when the press landed on an image button, which then takes the capture.
    bool Press(int x, int y, const ControlRects& rects);
    bool Held() const noexcept { return pressed_.has_value(); }
    bool MoveIsWindowEvent() const noexcept { return !Held(); }
    // The button clicked: the one pressed, when the release is over it too.
    std::optional<ControlId> Release(int x, int y, const ControlRects& rects);
    void CaptureLost() noexcept { pressed_.reset(); }

private:
    std::optional<ControlId> pressed_;
};

}  // namespace mjr
