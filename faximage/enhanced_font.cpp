#include "faximage/enhanced_font.h"

#include "faximage/fax_errors.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>

namespace faximage {

namespace {

// Asks fontconfig for the best installed match of a family name and style.
std::string resolveFont(const EnhFontSpec& spec) {
    FcConfig* config = FcInitLoadConfigAndFonts();
    if (!config)
        return {};
    std::string file;
    FcPattern* pat = FcPatternCreate();
    FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>(spec.name.c_str()));
    FcPatternAddInteger(pat, FC_WEIGHT, spec.bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pat, FC_SLANT, spec.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pat, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(config, pat, FcMatchPattern);
    FcDefaultSubstitute(pat);
    FcResult result = FcResultNoMatch;
    if (FcPattern* match = FcFontMatch(config, pat, &result)) {
        FcChar8* path = nullptr;
        if (FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch && path)
            file = reinterpret_cast<const char*>(path);
        FcPatternDestroy(match);
    }
    FcPatternDestroy(pat);
    FcConfigDestroy(config);
    return file;
}

} // namespace

struct EnhancedFont::Impl {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    std::string file;
    int ascent = 0;
    int height = 0;

    ~Impl() {
        if (face)
            FT_Done_Face(face);
        if (library)
            FT_Done_FreeType(library);
    }
};

EnhancedFont::EnhancedFont() = default;
EnhancedFont::~EnhancedFont() = default;
EnhancedFont::EnhancedFont(EnhancedFont&&) noexcept = default;
EnhancedFont& EnhancedFont::operator=(EnhancedFont&&) noexcept = default;

int EnhancedFont::open(const EnhFontSpec& spec, double scale) {
    auto impl = std::make_unique<Impl>();
    if (FT_Init_FreeType(&impl->library) != 0)
        return ec::EnhFontTooBig;
    impl->file = resolveFont(spec);
    if (impl->file.empty() || FT_New_Face(impl->library, impl->file.c_str(), 0, &impl->face) != 0)
        return ec::EnhFontTooBig;
    const double pixels = spec.pointSize * 96.0 / 72.0 * scale;
    if (!(pixels >= 1.0 && pixels < 2000.0))
        return ec::EnhFontTooBig;
    if (FT_Set_Pixel_Sizes(impl->face, 0, static_cast<FT_UInt>(std::lround(pixels))) != 0)
        return ec::EnhFontTooBig;
    const FT_Size_Metrics& m = impl->face->size->metrics;
    impl->ascent = static_cast<int>((m.ascender + 63) >> 6);
    impl->height = impl->ascent + static_cast<int>((-m.descender + 63) >> 6);
    impl_ = std::move(impl);
    return 0;
}

bool EnhancedFont::isOpen() const { return impl_ != nullptr; }

const std::string& EnhancedFont::file() const {
    static const std::string none;
    return impl_ ? impl_->file : none;
}

int EnhancedFont::lineHeight() const { return impl_ ? impl_->height : 0; }

void EnhancedFont::draw(std::u32string_view text, MonoBitmap& target) const {
    if (!impl_)
        return;
    FT_Face face = impl_->face;
    long penX = 0; // 26.6
    FT_UInt previous = 0;
    const bool kerning = FT_HAS_KERNING(face);
    for (char32_t cp : text) {
        const FT_UInt glyph = FT_Get_Char_Index(face, cp);
        if (kerning && previous && glyph) {
            FT_Vector delta{};
            FT_Get_Kerning(face, previous, glyph, FT_KERNING_DEFAULT, &delta);
            penX += delta.x;
        }
        previous = glyph;
        if (FT_Load_Glyph(face, glyph, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO) != 0)
            continue;
        const FT_GlyphSlot slot = face->glyph;
        if (slot->bitmap.pixel_mode == FT_PIXEL_MODE_MONO) {
            const int x0 = static_cast<int>(penX >> 6) + slot->bitmap_left;
            const int y0 = impl_->ascent - slot->bitmap_top;
            for (unsigned r = 0; r < slot->bitmap.rows; ++r) {
                const int y = y0 + static_cast<int>(r);
                if (y < 0 || y >= target.height())
                    continue;
                const unsigned char* src = slot->bitmap.buffer + static_cast<long>(r) * slot->bitmap.pitch;
                for (unsigned c = 0; c < slot->bitmap.width; ++c) {
                    const int x = x0 + static_cast<int>(c);
                    if (x >= 0 && x < target.width() && ((src[c >> 3] >> (7 - (c & 7))) & 1))
                        target.setBlack(x, y, true);
                }
            }
        }
        penX += slot->advance.x;
        if ((penX >> 6) >= target.width())
            break;
    }
}

std::size_t EnhancedFont::fitCount(std::u32string_view text, int width) const {
    if (!impl_)
        return 0;
    // The same pen walk as draw(); a character fits when its ink and its advance end
    // within the width.
    FT_Face face = impl_->face;
    long penX = 0; // 26.6
    FT_UInt previous = 0;
    const bool kerning = FT_HAS_KERNING(face);
    const long limit = static_cast<long>(width) << 6;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const FT_UInt glyph = FT_Get_Char_Index(face, text[i]);
        if (kerning && previous && glyph) {
            FT_Vector delta{};
            FT_Get_Kerning(face, previous, glyph, FT_KERNING_DEFAULT, &delta);
            penX += delta.x;
        }
        previous = glyph;
        if (FT_Load_Glyph(face, glyph, FT_LOAD_TARGET_MONO) != 0)
            continue;
        const FT_Glyph_Metrics& m = face->glyph->metrics;
        const long inkEnd = penX + m.horiBearingX + m.width;
        penX += face->glyph->advance.x;
        if (std::max(inkEnd, penX) > limit)
            return i;
    }
    return text.size();
}

} // namespace faximage
