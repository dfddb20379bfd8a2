#pragma once

#include <QRect>

#include <cmath>

namespace nixora
{

// The windows are laid out in twips, as they were designed: 15 twips are one pixel.
inline constexpr int kTwipsPerPixel = 15;

[[nodiscard]] inline int px(int twips)
{
    return static_cast<int>(std::lround(twips / static_cast<double>(kTwipsPerPixel)));
}

[[nodiscard]] inline QRect twipRect(int left, int top, int width, int height)
{
    return {px(left), px(top), px(width), px(height)};
}

[[nodiscard]] inline QRect twipRect(const QRect& twips)
{
    return twipRect(twips.x(), twips.y(), twips.width(), twips.height());
}

} // namespace nixora
