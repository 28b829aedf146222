// The fax engine's own error vocabulary: the codes of the serial port, its dispatcher and
// its triggers, their texts and exception classes, on top of the shared vocabulary of
// faximage/fax_errors.h. faxengine::ec names every code, the shared ones included, and
// errorText() finds the text of any of them.
#pragma once

#include "faximage/fax_errors.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace faxengine {

namespace ec {
using namespace faximage::ec;

inline constexpr int PortNotAssigned = -1005;
inline constexpr int CannotUseWithWinSock = -1009;
inline constexpr int BadId = -2001;
inline constexpr int BaudRate = -2002;
inline constexpr int ByteSize = -2003;
inline constexpr int Default = -2004;
inline constexpr int Hardware = -2005;
inline constexpr int Memory = -2006;
inline constexpr int CommNotOpen = -2007;
inline constexpr int AlreadyOpen = -2008;
inline constexpr int NoHandles = -2009;
inline constexpr int NoTimers = -2010;
inline constexpr int NoPortSelected = -2011;
inline constexpr int NotOpenedByTapi = -2012;
inline constexpr int NullApi = -3001;
inline constexpr int NotSupported = -3002;
inline constexpr int RegisterHandlerFailed = -3003;
inline constexpr int PutBlockFail = -3004;
inline constexpr int GetBlockFail = -3005;
inline constexpr int OutputBufferTooSmall = -3006;
inline constexpr int BufferIsEmpty = -3007;
inline constexpr int TracingNotEnabled = -3008;
inline constexpr int LoggingNotEnabled = -3009;
inline constexpr int BaseAddressNotSet = -3010;
inline constexpr int NoMoreTriggers = -5001;
inline constexpr int TriggerTooLong = -5002;
inline constexpr int BadTriggerHandle = -5003;
} // namespace ec

// Text of a table id: the engine's entries, then the shared table; empty when neither has it.
std::string_view errorTableText(std::uint32_t id);
// Text of any error code (engine or shared), as faximage::errorText does for the shared ones.
std::string errorText(int code);

#define FAXENGINE_PORT_EXCEPTION(Name)                                                          \
    class Name : public faximage::EVelkException {                                              \
    public:                                                                                     \
        using faximage::EVelkException::EVelkException;                                        \
    };

FAXENGINE_PORT_EXCEPTION(EPortNotAssigned)
FAXENGINE_PORT_EXCEPTION(ECannotUseWithWinSock)
FAXENGINE_PORT_EXCEPTION(EBadId)
FAXENGINE_PORT_EXCEPTION(EBaudRate)
FAXENGINE_PORT_EXCEPTION(EByteSize)
FAXENGINE_PORT_EXCEPTION(EDefault)
FAXENGINE_PORT_EXCEPTION(EHardware)
FAXENGINE_PORT_EXCEPTION(EMemory)
FAXENGINE_PORT_EXCEPTION(ECommNotOpen)
FAXENGINE_PORT_EXCEPTION(EAlreadyOpen)
FAXENGINE_PORT_EXCEPTION(ENoHandles)
FAXENGINE_PORT_EXCEPTION(ENoTimers)
FAXENGINE_PORT_EXCEPTION(ENoPortSelected)
FAXENGINE_PORT_EXCEPTION(ENotOpenedByTapi)
FAXENGINE_PORT_EXCEPTION(ENullApi)
FAXENGINE_PORT_EXCEPTION(ERegisterHandlerFailed)
FAXENGINE_PORT_EXCEPTION(EPutBlockFail)
FAXENGINE_PORT_EXCEPTION(EGetBlockFail)
FAXENGINE_PORT_EXCEPTION(EOutputBufferTooSmall)
FAXENGINE_PORT_EXCEPTION(EBufferIsEmpty)
FAXENGINE_PORT_EXCEPTION(ETracingNotEnabled)
FAXENGINE_PORT_EXCEPTION(ELoggingNotEnabled)
FAXENGINE_PORT_EXCEPTION(EBaseAddressNotSet)
FAXENGINE_PORT_EXCEPTION(ETriggerTooLong)
FAXENGINE_PORT_EXCEPTION(EBadTriggerHandle)

#undef FAXENGINE_PORT_EXCEPTION

// Throws the exception class of a code: the engine's classes for its codes, otherwise as
// faximage::raiseVelkError does. A detail follows the code's own text.
[[noreturn]] void raiseError(int code, const std::string& detail = {});

// Returns a code that is not negative unchanged and throws for a negative one.
inline int checkResult(int code, const std::string& detail = {}) {
    if (code < 0)
        raiseError(code, detail);
    return code;
}

} // namespace faxengine
