// The messages between a session's state procedure and its owner: the owner's abort
// into the procedure, and the notices the procedure sends back.
#pragma once

#include <cstdint>

namespace faxengine {

// Notices to the owner of a session (its component). All but Finish are sent
// synchronously with kNoticeTimeout; Finish is posted.
namespace faxmsg {
inline constexpr std::uint16_t UserAbort = 0x7EA0; // owner → state procedure
inline constexpr std::uint16_t NextFax = 0x7EA1;
inline constexpr std::uint16_t Status = 0x7EA2;    // param 1 first, 2 last, 0 neither
inline constexpr std::uint16_t Log = 0x7EA3;       // param: log code
inline constexpr std::uint16_t FileName = 0x7EA4;
inline constexpr std::uint16_t Accept = 0x7EA5;
inline constexpr std::uint16_t Error = 0x7EA6;     // param: error code
inline constexpr std::uint16_t Finish = 0x7EA7;    // posted; param: error code
} // namespace faxmsg

} // namespace faxengine
