// The fax classes a modem may work in. Detection settles fcDetect before a call; the
// transmit and receive machines run one of the three real classes.
#pragma once

#include <cstdint>
#include <string_view>

namespace faxengine {

enum class FaxClass : std::uint8_t { fcUnknown, fcDetect, fcClass1, fcClass2, fcClass2_0 };
std::string_view to_string(FaxClass c);

// The class a machine runs for a session's class: one not settled is taken as Class 1.
constexpr FaxClass runnableClass(FaxClass c) {
    return c == FaxClass::fcClass2 || c == FaxClass::fcClass2_0 ? c : FaxClass::fcClass1;
}

} // namespace faxengine
