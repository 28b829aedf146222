// What a byte fed to a modem response reader completed: nothing yet, a text line, or a
// Class 1 frame ended by DLE ETX.
#pragma once

#include <cstdint>
#include <string_view>

namespace faxengine {

enum class ReaderEvent : std::uint8_t { None, Line, Frame };
std::string_view to_string(ReaderEvent e);

} // namespace faxengine
