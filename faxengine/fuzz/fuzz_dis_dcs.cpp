// DIS/DCS/ID field decoding and the figures derived from it (speed, scan time, minimum
// line length), for every byte value the far end may send.
#include "faxengine/fax_session.h"
#include "faxengine/t30_params.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace faxengine;
    if (size < 3)
        return 0;
    const std::uint8_t byte2 = data[0], byte3 = data[1];
    const bool fine = data[2] & 1;
    (void)disRemoteSupport(byte2);
    const int modulation = dcsModulation(byte2);
    (void)dcsTrainingCode(byte2);
    (void)pageCodeFor(dcsTrainingCode(byte2));
    const int scan = scanTimeCodeOf(byte3);
    (void)scanTimeMs(scan, fine);
    for (int bps : {2400, 4800, 7200, 9600, 12000, 14400})
        if (minLineBytesFor(scan, fine, bps) < 0)
            std::abort();
    const std::string id = idFromFif(data + 3, size - 3);
    (void)idFif(id);
    (void)dcsFif(fine, modulation, scan, data[2] & 2);

    FaxSession session(FaxRole::Transmit);
    session.desiredBps = 2400 * (1 + data[2] % 6);
    session.DecodeDis(byte2, byte3);
    if (session.modulation < 1 || session.modulation > 6)
        std::abort();
    while (session.StepDownSpeed()) {
    }
    session.DecodeDcs(byte2, byte3);
    return 0;
}
