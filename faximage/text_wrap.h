// Wrapping of text lines too long for the page: a line is broken at the last blank that
// still fits, or, when a word alone is wider than the page, inside the word. The blanks
// at a break are dropped; nothing else is.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace faximage {

// How many leading characters of a text fit on one line.
using FitCount = std::function<std::size_t(std::u32string_view)>;

// The pieces of `text`, each fitting; at least one (an empty line stays one empty line).
std::vector<std::u32string> wrapTextLine(std::u32string_view text, const FitCount& fitCount);

} // namespace faximage
