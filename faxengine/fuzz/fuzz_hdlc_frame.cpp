// Class 1 HDLC frames as the modem hands them over (address, control, FCF, FIF, DLE ETX):
// the frame reader and the frame parser with its DIS/DCS and ID decoding.
#include "faxengine/fax_session.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace faxengine;
    if (size < 1)
        return 0;
    // The first byte chooses the session's side and what its page asks of the far end.
    FaxSession session(data[0] & 1 ? FaxRole::Transmit : FaxRole::Receive);
    session.resolution = data[0] & 2 ? '1' : '0';
    session.pageHeader.flags = data[0] & 4 ? faximage::kApfWide : 0;
    session.desiredBps = 2400 * (1 + (data[0] >> 5) % 6);
    // Straight into the parser, as a whole buffer.
    session.response.assign(reinterpret_cast<const char*>(data + 1), size - 1);
    (void)session.ParseFrame();
    // And through the byte reader, frame by frame.
    FaxSession reader(FaxRole::Receive);
    for (std::size_t i = 1; i < size; ++i)
        if (reader.FeedByte(data[i]) == ReaderEvent::Frame)
            (void)reader.ParseFrame();
    if (!session.remoteId.empty() && session.remoteId.size() != 20) // padded to 20
        std::abort();
    if (session.bps < 0 || session.bps > 14400 || session.minLineBytes < 0)
        std::abort();
    return 0;
}
