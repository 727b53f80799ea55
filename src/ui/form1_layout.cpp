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

std::optional<ControlId> ImageButtonAt(int x, int y, const std::array<PixelRect, 12>& rects) {
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

}  // namespace mjr
