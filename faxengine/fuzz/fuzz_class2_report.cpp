// Class 2 and 2.0 session reports (+FDCS:/+FCS:, +FDIS:/+DIS:, +FCSI:, +FHNG:, +FPTS:)
// through the cleaners and the parameter parser.
#include "faxengine/class2_commands.h"
#include "faxengine/fax_session.h"
#include "faxengine/modem_response.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace faxengine;
    const std::string_view report(reinterpret_cast<const char*>(data), size);
    const Class2Params p = parseClass2Params(cleanReport(report));
    if (p.bps < 0 || p.scanTimeCode < 0)
        std::abort();
    (void)cleanStationId(report);
    (void)numericReportValue(report);
    FaxSession session(size % 2 ? FaxRole::Transmit : FaxRole::Receive);
    session.ApplyClass2Report(report);
    if (session.minLineBytes < 0)
        std::abort();
    return 0;
}
