// Contrast of colours as people read them (WCAG 2), for tests that measure drawn pixels.
#pragma once

#include <QColor>

#include <algorithm>
#include <cmath>

namespace rig::app::testing {

// An sRGB channel (0 to 1) made linear.
inline double linear(double v) {
    return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

// Contrast ratio of two opaque colours.
inline double contrast(const QColor& a, const QColor& b) {
    const auto luminance = [](const QColor& c) {
        return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

} // namespace rig::app::testing
