#include "ui/form1_layout.h"

#include <cmath>

namespace mjr {

int TwipsToPixels(int twips, float twipsPerPixel) {
    return static_cast<int>(std::lround(static_cast<float>(twips) / twipsPerPixel));
}

PixelRect ToPixels(const TwipRect& r, float tppx, float tppy) {
    return {TwipsToPixels(r.left, tppx), TwipsToPixels(r.top, tppy), TwipsToPixels(r.width, tppx),
            TwipsToPixels(r.height, tppy)};
}

ControlRects ControlPixels(float tppx, float tppy, std::initializer_list<PictureSize> pictures) {
    ControlRects rects{};
    for (std::size_t i = 0; i < kForm1Controls.size(); ++i) {
        rects[i] = ToPixels(kForm1Controls[i].rect, tppx, tppy);
        for (const PictureSize& p : pictures) {
            if (p.control != kForm1Controls[i].id || p.width <= 0 || p.height <= 0) continue;
            rects[i].width = p.width;
            rects[i].height = p.height;
        }
    }
    return rects;
}

std::optional<ControlId> ImageButtonAt(int x, int y, const ControlRects& rects) {
    for (std::size_t i = 0; i < kForm1Controls.size(); ++i) {
        const ControlSpec& c = kForm1Controls[i];
        if (!c.visible) continue;
        if (c.kind != ControlKind::ImageButton && c.kind != ControlKind::Label) continue;
        if (!rects[i].Contains(x, y)) continue;
        if (c.kind == ControlKind::Label) return std::nullopt;
        return c.id;
    }
    return std::nullopt;
}

bool ImageButtonPress::Press(int x, int y, const ControlRects& rects) {
    pressed_ = ImageButtonAt(x, y, rects);
    return Held();
}

std::optional<ControlId> ImageButtonPress::Release(int x, int y, const ControlRects& rects) {
    const auto pressed = pressed_;
    pressed_.reset();
    if (pressed && pressed == ImageButtonAt(x, y, rects)) return pressed;
    return std::nullopt;
}

}  // namespace mjr
