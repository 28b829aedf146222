// System fonts for text faxes, header lines and text covers, drawn with FreeType. A
// name such as "Arial" is resolved by fontconfig to an installed font (a metric-
// compatible one when the named font itself is not installed).
#pragma once

#include "faximage/mono_bitmap.h"

#include <memory>
#include <string>
#include <string_view>

namespace faximage {

struct EnhFontSpec {
    std::string name = "Arial";
    double pointSize = 10;
    bool bold = false;
    bool italic = false;
};

class EnhancedFont {
public:
    EnhancedFont();
    ~EnhancedFont();
    EnhancedFont(EnhancedFont&&) noexcept;
    EnhancedFont& operator=(EnhancedFont&&) noexcept;

    // Loads the font at `spec.pointSize` x `scale` (96 pixels per inch, the screen
    // density the sizes are chosen at). 0, or -8055 when no font can be loaded.
    int open(const EnhFontSpec& spec, double scale = 1.0);
    bool isOpen() const;
    // The file fontconfig chose.
    const std::string& file() const;

    // Pixel rows of one text line (ascent + descent).
    int lineHeight() const;
    // Draws `text` with its top-left at (0, 0) into `target`, black on what is there,
    // clipped to the bitmap.
    void draw(std::u32string_view text, MonoBitmap& target) const;
    // How many leading characters of `text` draw entirely within `width` pixels.
    std::size_t fitCount(std::u32string_view text, int width) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace faximage
