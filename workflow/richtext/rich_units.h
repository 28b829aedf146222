// Lengths in rich-text documents. The document's unit is the pixel of a 96-dpi device
// whatever the screen: 15 twips. Pages are laid out in these units and painted scaled
// to the target's resolution.
#pragma once

namespace workflow::richtext {

inline constexpr double kTwipsPerUnit = 15.0;
inline constexpr double kUnitsPerInch = 96.0;
inline constexpr int kTwipsPerInch = 1440;

inline constexpr double unitsFromTwips(double twips) { return twips / kTwipsPerUnit; }
inline constexpr int twipsFromUnits(double units) {
    return static_cast<int>(units * kTwipsPerUnit + (units < 0 ? -0.5 : 0.5));
}

} // namespace workflow::richtext
