#include "faxengine/engine_errors.h"

#include <algorithm>
#include <iterator>

namespace faxengine {

namespace {

// Sorted by id, as the shared table is.
constexpr faximage::StringEntry kEngineStrings[] = {
    {1005, "ComPort component not assigned"},
    {1009, "Component not compatible with WinSock"},
    {2001, "ie_BadId - Specified comport doesn't exist"},
    {2002, "ie_Baudrate - unsupported baud rate"},
    {2003, "ie_Bytesize - invalid byte size"},
    {2004, "ie_Default - error in default parameters"},
    {2005, "ie_Hardware - Specified comport in use"},
    {2006, "ie_Memory - unable to allocate queues"},
    {2007, "ie_NOpen - device not open"},
    {2008, "ie_Open - device already open"},
    {2009, "No more handles, can't open port"},
    {2010, "No timers available"},
    {2011, "The ComNumber property of the TVelkComPort has not been set"},
    {2012, "Comport was not opened by Tapi"},
    {3001, "No device layer specified"},
    {3002, "Function not supported by driver"},
    {3003, "EnableCommNotification failed"},
    {3004, "Failed to put entire block"},
    {3005, "Failed to get entire block"},
    {3006, "Output buffer too small for block"},
    {3007, "Buffer is empty"},
    {3008, "Tracing not enabled"},
    {3009, "Logging not enabled"},
    {3010, "Base address not set"},
    {5001, "No more trigger slots"},
    {5002, "Data trigger too long"},
    {5003, "Bad trigger handle"},
};

constexpr bool sortedById() {
    for (std::size_t i = 1; i < std::size(kEngineStrings); ++i)
        if (kEngineStrings[i - 1].id >= kEngineStrings[i].id)
            return false;
    return true;
}
static_assert(sortedById(), "the engine's string table must be sorted by id");

std::string_view engineText(std::uint32_t id) {
    auto it = std::lower_bound(std::begin(kEngineStrings), std::end(kEngineStrings), id,
                               [](const faximage::StringEntry& e, std::uint32_t v) { return e.id < v; });
    return it != std::end(kEngineStrings) && it->id == id ? it->text : std::string_view();
}

} // namespace

std::string_view errorTableText(std::uint32_t id) {
    const std::string_view t = engineText(id);
    return t.empty() ? faximage::errorTableText(id) : t;
}

std::string errorText(int code) {
    const std::uint32_t id = code < 0 ? 0u - static_cast<std::uint32_t>(code) : static_cast<std::uint32_t>(code);
    const std::string_view t = engineText(id);
    return t.empty() ? faximage::errorText(code) : std::string(t);
}

void raiseError(int code, const std::string& detail) {
    const std::string m = detail.empty() ? errorText(code) : errorText(code) + ": " + detail;
    switch (code) {
    case ec::PortNotAssigned: throw EPortNotAssigned(code, m);
    case ec::CannotUseWithWinSock: throw ECannotUseWithWinSock(code, m);
    case ec::BadId: throw EBadId(code, m);
    case ec::BaudRate: throw EBaudRate(code, m);
    case ec::ByteSize: throw EByteSize(code, m);
    case ec::Default: throw EDefault(code, m);
    case ec::Hardware: throw EHardware(code, m);
    case ec::Memory: throw EMemory(code, m);
    case ec::CommNotOpen: throw ECommNotOpen(code, m);
    case ec::AlreadyOpen: throw EAlreadyOpen(code, m);
    case ec::NoHandles: throw ENoHandles(code, m);
    case ec::NoTimers: throw ENoTimers(code, m);
    case ec::NoPortSelected: throw ENoPortSelected(code, m);
    case ec::NotOpenedByTapi: throw ENotOpenedByTapi(code, m);
    case ec::NullApi: throw ENullApi(code, m);
    case ec::RegisterHandlerFailed: throw ERegisterHandlerFailed(code, m);
    case ec::PutBlockFail: throw EPutBlockFail(code, m);
    case ec::GetBlockFail: throw EGetBlockFail(code, m);
    case ec::OutputBufferTooSmall: throw EOutputBufferTooSmall(code, m);
    case ec::BufferIsEmpty: throw EBufferIsEmpty(code, m);
    case ec::TracingNotEnabled: throw ETracingNotEnabled(code, m);
    case ec::LoggingNotEnabled: throw ELoggingNotEnabled(code, m);
    case ec::BaseAddressNotSet: throw EBaseAddressNotSet(code, m);
    case ec::TriggerTooLong: throw ETriggerTooLong(code, m);
    case ec::BadTriggerHandle: throw EBadTriggerHandle(code, m);
    case ec::NotSupported:
    case ec::NoMoreTriggers: throw faximage::EVelkException(code, m);
    default: faximage::raiseVelkError(code, detail);
    }
}

} // namespace faxengine
