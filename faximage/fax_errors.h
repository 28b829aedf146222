// The error vocabulary shared by the fax image library and everything above it: error
// codes, the error-string table, the lookup of an error's text and the exception classes.
// Operations return 0 or a negative code; a file-system failure is the negated system code
// (errno here). The serial port's and the dispatcher's codes belong to the fax engine
// (faxengine/engine_errors.h).
#pragma once

#include <cstdint>
#include <exception>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace faximage {

// Error codes, as returned (negative). The table below holds their texts at |code|.
namespace ec {
inline constexpr int OK = 0;
inline constexpr int OutOfMemory = -8;

inline constexpr int BadHandle = -1001;
inline constexpr int BadArgument = -1002;
inline constexpr int GotQuitMsg = -1003;
inline constexpr int BufferTooBig = -1004;
inline constexpr int Internal = -1006;
inline constexpr int ModemNotAssigned = -1007;
inline constexpr int PhonebookNotAssigned = -1008;

inline constexpr int BadFormatInFileList = -6001;
inline constexpr int NoSearchMask = -6002;
inline constexpr int NoMatchingFiles = -6003;
inline constexpr int DirNotFound = -6004;
inline constexpr int CancelRequested = -6005;
inline constexpr int TimeOut = -6006;
inline constexpr int ProtocolUnrecoverable = -6007;
inline constexpr int TooManyErrors = -6008;
inline constexpr int SequenceError = -6009;
inline constexpr int NoFilename = -6010;
inline constexpr int FileRejected = -6011;
inline constexpr int CantWriteFile = -6012;
inline constexpr int TableFull = -6013;
inline constexpr int AbortNoCarrier = -6014;
inline constexpr int BadProtocolFunction = -6015;

inline constexpr int FaxBadFormat = -8001;
inline constexpr int BadGraphicsFormat = -8002;
inline constexpr int ConvertAbort = -8003;
inline constexpr int UnpackAbort = -8004;
inline constexpr int CantMakeBitmap = -8005;
inline constexpr int NoImageLoaded = -8050;
inline constexpr int NoImageBlockMarked = -8051;
inline constexpr int FontFileNotFound = -8052;
inline constexpr int InvalidPageNumber = -8053;
inline constexpr int BmpTooBig = -8054;
inline constexpr int EnhFontTooBig = -8055;
// Refusals of an output name, beyond the classic set.
inline constexpr int OutputIsInput = -8056;
inline constexpr int OutputNotAFile = -8057;
inline constexpr int FaxBadMachine = -8060;
inline constexpr int FaxBadModemResult = -8061;
inline constexpr int FaxTrainError = -8062;
inline constexpr int FaxInitError = -8063;
inline constexpr int FaxBusy = -8064;
inline constexpr int FaxVoiceCall = -8065;
inline constexpr int FaxDataCall = -8066;
inline constexpr int FaxNoDialTone = -8067;
inline constexpr int FaxNoCarrier = -8068;
inline constexpr int FaxSessionError = -8069;
inline constexpr int FaxPageError = -8070;
inline constexpr int FaxGDIPrintError = -8071;
inline constexpr int FaxMixedResolution = -8072;
inline constexpr int FaxConverterInitFail = -8073;
inline constexpr int FaxNoAnswer = -8074;

// Returned by code-from-exception for anything that is not one of ours.
inline constexpr int UnknownException = -9999;
} // namespace ec

// First id of the dispatch-log vocabulary: type texts at TypeBase + type, sub-type
// texts at SubTypeBase + sub-type, transmit state names at SubTypeBase + 30 + state,
// receive state names at SubTypeBase + 79 + state.
inline constexpr int kLogTypeTextBase = 15001;
inline constexpr int kLogSubTypeTextBase = 15100;

struct StringEntry {
    std::uint32_t id;
    std::string_view text;
};

// The error-string table, sorted by id (error texts, file-system texts and the
// dispatch-log vocabulary).
std::span<const StringEntry> errorStringTable();

// Table text for an id, empty when the table has no entry.
std::string_view errorTableText(std::uint32_t id);

// Text of an error code: the table entry for |code|, else the operating system's
// message for |code| with control characters turned into spaces.
std::string errorText(int code);

// Base of every exception the components raise; carries the (negative) code and its text.
class EVelkException : public std::runtime_error {
public:
    explicit EVelkException(int code);
    EVelkException(int code, const std::string& message);
    int ErrorCode() const noexcept { return code_; }

private:
    int code_;
};

// A positive (file-system) code: carries the system code as given.
class EInOutError : public std::runtime_error {
public:
    explicit EInOutError(int code);
    int ErrorCode() const noexcept { return code_; }

private:
    int code_;
};

#define FAXIMAGE_VELK_EXCEPTION(Name)                                                               \
    class Name : public EVelkException {                                                            \
    public:                                                                                        \
        using EVelkException::EVelkException;                                                        \
    };

FAXIMAGE_VELK_EXCEPTION(EBadArgument)
FAXIMAGE_VELK_EXCEPTION(EGotQuitMsg)
FAXIMAGE_VELK_EXCEPTION(EBufferTooBig)
FAXIMAGE_VELK_EXCEPTION(EInternal)
FAXIMAGE_VELK_EXCEPTION(EProtocol)
FAXIMAGE_VELK_EXCEPTION(EFaxBadFormat)
FAXIMAGE_VELK_EXCEPTION(EBadGraphicsFormat)
FAXIMAGE_VELK_EXCEPTION(EConvertAbort)
FAXIMAGE_VELK_EXCEPTION(EUnpackAbort)
FAXIMAGE_VELK_EXCEPTION(ECantMakeBitmap)
FAXIMAGE_VELK_EXCEPTION(EFaxBadMachine)
FAXIMAGE_VELK_EXCEPTION(EFaxBadModemResult)
FAXIMAGE_VELK_EXCEPTION(EFaxTrainError)
FAXIMAGE_VELK_EXCEPTION(EFaxInitError)
FAXIMAGE_VELK_EXCEPTION(EFaxBusy)
FAXIMAGE_VELK_EXCEPTION(EFaxVoiceCall)
FAXIMAGE_VELK_EXCEPTION(EFaxDataCall)
FAXIMAGE_VELK_EXCEPTION(EFaxNoDialTone)
FAXIMAGE_VELK_EXCEPTION(EFaxNoCarrier)
FAXIMAGE_VELK_EXCEPTION(EFaxSessionError)
FAXIMAGE_VELK_EXCEPTION(EFaxPageError)

#undef FAXIMAGE_VELK_EXCEPTION

// Throws the exception class for a code: the class by code for known negative codes,
// EInOutError for a positive code, EVelkException otherwise. A detail (which file, which
// page) follows the code's own text: "File not found: letter.txt".
[[noreturn]] void raiseVelkError(int code, const std::string& detail = {});

// Returns 0 unchanged and throws for any other code; for call sites that check results.
inline int checkApd(int code, const std::string& detail = {}) {
    if (code < 0)
        raiseVelkError(code, detail);
    return code;
}

// The code an exception stands for: an EVelkException its code, an input/output error its
// negated code, out of memory -8, anything else -9999.
int codeFromException(const std::exception& e) noexcept;
int codeFromException(std::exception_ptr e) noexcept;

} // namespace faximage
