#pragma once
// Reading the colour functions of current CSS: rgb(), rgba(), hsl() and hsla(), with commas or
// with spaces and a "/" before the alpha value, numbers with decimals and exponents,
// percentages, and hues with or without an angle unit.

#include "colour/Colour.h"
#include "text/TextEncoding.h"

#include <optional>
#include <string_view>

struct TCssColorFunction {
    TRGBColor Color;             // the colour, each channel rounded to the nearest integer
    bool HasAlpha = false;
    std::string_view Alpha;      // the alpha value exactly as written (a number or a percentage)
};

// Reads Text when the whole of it is one colour function (name in any case, "(" right after
// it, ")" at the end). Gives nothing for anything else: another function, a malformed list,
// a keyword such as "none" or "var(...)" inside, a mixture of numbers and percentages in the
// comma form, or a channel outside its range (rgb numbers 0..255, percentages 0..100%), which
// a browser would clamp but which could not be written back as it was.
std::optional<TCssColorFunction> ParseCssColorFunction(std::string_view Text);

// The first colour function in Text that ParseCssColorFunction reads: one that starts at "rgb"
// or "hsl" (any case) that does not continue an identifier, with an optional "a" and "(" right
// after it, and runs to the first ")" after that. Functions that cannot be read are passed
// over; the search ends at one without a ")". Text is read in Encoding.
std::optional<TCssColorFunction> FindCssColorFunction(std::string_view Text, TTextEncoding Encoding);

// HSL to RGB by the formula of CSS Color Level 4: Hue in degrees (any value, taken modulo
// 360), Saturation and Lightness in percent (0..100). Channels are rounded to the nearest
// integer, ties to even, as for percentages in rgb().
TRGBColor HslToRgb(long double Hue, long double Saturation, long double Lightness);

// The hue (degrees, 0 <= H < 360; 0 for a grey), saturation and lightness (percent) of a colour,
// by the formula of CSS Color Level 4, unrounded.
struct THslColor {
    long double H;
    long double S;
    long double L;
};
THslColor RgbToHsl(const TRGBColor& Color);
