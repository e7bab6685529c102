#include "ui/Colours.h"

#include <QPalette>

#include <algorithm>
#include <cmath>

namespace {

double Channel(double value)
{
    value /= 255.0;
    return value <= 0.04045 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
}

double Luminance(const QColor& colour)
{
    const QColor rgb = colour.toRgb();
    return 0.2126 * Channel(rgb.red()) + 0.7152 * Channel(rgb.green()) + 0.0722 * Channel(rgb.blue());
}

} // namespace

double ContrastRatio(const QColor& a, const QColor& b)
{
    const double la = Luminance(a);
    const double lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

bool IsDarkPalette(const QPalette& palette)
{
    return Luminance(palette.color(QPalette::Text)) > Luminance(palette.color(QPalette::Base));
}

QColor ReadableOn(const QColor& wanted, const QColor& background, double ratio)
{
    if (ContrastRatio(wanted, background) >= ratio) {
        return wanted;
    }
    // Toward white on a dark background, toward black on a light one, in small steps of
    // lightness so the hue stays recognisable (red stays red, blue stays blue).
    const bool lighten = Luminance(background) < 0.18;
    const QColor hsl = wanted.toHsl();
    for (int step = 1; step <= 100; ++step) {
        const double lightness = lighten ? hsl.lightnessF() + (1.0 - hsl.lightnessF()) * step / 100.0
                                         : hsl.lightnessF() * (100 - step) / 100.0;
        const QColor candidate = QColor::fromHslF(hsl.hslHueF(), hsl.hslSaturationF(), lightness).toRgb();
        if (ContrastRatio(candidate, background) >= ratio) {
            return candidate;
        }
    }
    return lighten ? QColor(Qt::white) : QColor(Qt::black);
}

QColor StripeColour(const QPalette& palette)
{
    const QColor base = palette.color(QPalette::Base).toRgb();
    const QColor text = palette.color(QPalette::Text).toRgb();
    // 15 parts in 255 toward the text: white with black text gives 0xF0F0F0.
    auto mix = [](int from, int to) { return from + (to - from) * 15 / 255; };
    return QColor(mix(base.red(), text.red()), mix(base.green(), text.green()), mix(base.blue(), text.blue()));
}

QColor LinkColour(const QPalette& palette)
{
    return ReadableOn(palette.color(QPalette::Link), palette.color(QPalette::Base));
}

QPalette DarkDesktopPalette()
{
    QPalette dark;
    const QColor window(0x35, 0x35, 0x35);
    const QColor base(0x2a, 0x2a, 0x2a);
    const QColor text(0xee, 0xee, 0xec);
    const QColor dimmed(0x91, 0x91, 0x91);
    for (const auto& [role, colour] : {std::pair{QPalette::Window, window},
                                       {QPalette::WindowText, text},
                                       {QPalette::Base, base},
                                       {QPalette::AlternateBase, window},
                                       {QPalette::Text, text},
                                       {QPalette::Button, window},
                                       {QPalette::ButtonText, text},
                                       {QPalette::Highlight, QColor(0x15, 0x53, 0x9e)},
                                       {QPalette::HighlightedText, QColor(Qt::white)},
                                       {QPalette::Link, QColor(0x1b, 0x6a, 0xcb)},
                                       {QPalette::ToolTipBase, base},
                                       {QPalette::ToolTipText, text},
                                       {QPalette::PlaceholderText, dimmed}}) {
        dark.setColor(role, colour);
    }
    for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        dark.setColor(QPalette::Disabled, role, dimmed);
    }
    return dark;
}
