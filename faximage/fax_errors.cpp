#include "faximage/fax_errors.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace faximage {

namespace {

// Sorted by id; errorTableText() searches it by bisection.
constexpr StringEntry kErrorStrings[] = {
    {0, "OK"},
    {2, "File not found"},
    {3, "Path not found"},
    {4, "Too many open files"},
    {5, "File access denied"},
    {6, "Invalid file handle"},
    {8, "Insufficient memory"},
    {15, "Invalid drive"},
    {18, "No more files"},
    {100, "Attempt to read beyond end of file"},
    {101, "Disk is full"},
    {102, "File/device not assigned"},
    {103, "File/device not open"},
    {104, "File/device not open for input"},
    {105, "File/device not open for output"},
    {150, "Disk is write-protected"},
    {151, "Unknown disk unit"},
    {152, "Drive is not ready"},
    {153, "Unknown command"},
    {154, "Data error"},
    {155, "Bad request structure length"},
    {156, "Seek error"},
    {157, "Unknown media type"},
    {158, "Disk sector not found"},
    {159, "Printer is out of paper"},
    {160, "Device write error"},
    {161, "Device read error"},
    {162, "General failure"},
    {1001, "Bad handle passed to com function"},
    {1002, "Bad argument passed to function"},
    {1003, "Got quit message"},
    {1004, "Terminal buffer greater than 65521"},
    {1006, "Internal error creating window class"},
    {1007, "Modem component not assigned"},
    {1008, "Phonebook component not assigned"},
    {6001, "Bad format in file list"},
    {6002, "No search mask specified during transmit"},
    {6003, "No files matched search mask"},
    {6004, "Directory in search mask doesn't exist"},
    {6005, "Cancel requested"},
    {6006, "Fatal time out"},
    {6007, "Unrecoverable event during protocol"},
    {6008, "Too many errors during protocol"},
    {6009, "Block sequence error in Xmodem"},
    {6010, "No filename specified in protocol receive"},
    {6011, "File was rejected"},
    {6012, "Cant write file"},
    {6013, "Kermit window table is full, fatal error"},
    {6014, "Aborting due to carrier loss"},
    {6015, "Function not supported by protocol"},
    {8001, "File is not an APF file"},
    {8002, "Unsupported graphics file format"},
    {8003, "User aborted fax conversion"},
    {8004, "User aborted fax unpack"},
    {8005, "CreateBitmapIndirect API failure"},
    {8050, "No image loaded into viewer"},
    {8051, "No block of image marked"},
    {8052, "APFAX.FNT not found, or resource bad"},
    {8053, "Invalid page number specified for fax"},
    {8054, "BMP size exceeds Windows' maxheight of 32767"},
    {8055, "Font selected for enhanced text converter too large"},
    {8056, "Output file is the input file"},
    {8057, "Output name is a directory or a device, not a file"},
    {8060, "Fax incompatible with remote fax"},
    {8061, "Bad response from modem"},
    {8062, "Modems failed to train"},
    {8063, "Error while initializing modem"},
    {8064, "Called fax number was busy"},
    {8065, "Called fax number answered with voice"},
    {8066, "Incoming data call"},
    {8067, "No dial tone"},
    {8068, "Failed to connect to remote fax"},
    {8069, "Fax failed in mid-session"},
    {8070, "Fax failed at page end"},
    {8071, "NextBand GDI error in fax print driver"},
    {8072, "Multiple resolutions per session not supported"},
    {8073, "Initialization of fax converter failed"},
    {8074, "Remote fax did not answer"},
    // Dispatch-log record types (15001 + type).
    {15001, "No event"},
    {15002, "Dispatch"},
    {15003, "Trigger"},
    {15004, "Error"},
    {15005, "Thread"},
    {15006, "TrigAllc"},
    {15007, "TrigDisp"},
    {15008, "TrgHdAlc"},
    {15009, "TrgHdDsp"},
    {15010, "TrDatChg"},
    {15011, "Telnet"},
    {15012, "Fax"},
    {15013, "XModem"},
    {15020, "User"},
    // Dispatch-log sub-types (15100 + sub-type).
    {15101, "ReadCom"},
    {15102, "WriteCom"},
    {15103, "Line status"},
    {15104, "Modem status"},
    {15105, "Avail"},
    {15106, "Timer"},
    {15107, "Data"},
    {15108, "Status"},
    {15114, "TimerChg"},
    {15115, "StatusChg"},
    {15116, "AvailChg"},
    {15117, "Window"},
    {15118, "Procedure"},
    {15119, "Method"},
    // Transmit state names (15130 + state).
    {15130, "tfNone"},
    {15131, "tfGetEntry"},
    {15132, "tfInit"},
    {15133, "tf1Init1"},
    {15134, "tf2Init1"},
    {15135, "tf2Init1A"},
    {15136, "tf2Init1B"},
    {15137, "tf2Init2"},
    {15138, "tf2Init3"},
    {15139, "tfDial"},
    {15140, "tfRetryWait"},
    {15141, "tf1Connect"},
    {15142, "tf1SendTSI"},
    {15143, "tf1TSIRespns"},
    {15144, "tf1DCSRspns"},
    {15145, "tf1TrainStrt"},
    {15146, "tf1TrainFnsh"},
    {15147, "tf1WaitCFR"},
    {15148, "tf1WaitPgCn"},
    {15149, "tf2Connect"},
    {15150, "tf2GetParams"},
    {15151, "tfWaitXon"},
    {15152, "tfWaitFrHead"},
    {15153, "tfSndPgeHdr"},
    {15154, "tfOpenCover"},
    {15155, "tfSendCover"},
    {15156, "tfPrepPage"},
    {15157, "tfSendPage"},
    {15158, "tfDrainPage"},
    {15159, "tf1PageEnd"},
    {15160, "tf1PrepEOP"},
    {15161, "tf1SendEOP"},
    {15162, "tf1WaitMPS"},
    {15163, "tf1WaitEOP"},
    {15164, "tf1WaitMCF"},
    {15165, "tf1SendDCN"},
    {15166, "tf1Hangup"},
    {15167, "tf1WaitHngp"},
    {15168, "tf2SendEOP"},
    {15169, "tf2WaitFPTS"},
    {15170, "tf2WaitFET"},
    {15171, "tf2WaitPgOK"},
    {15172, "tf2SndNwPrm"},
    {15173, "tf2NextPage"},
    {15174, "tf20ChckPg"},
    {15175, "tfClose"},
    {15176, "tfCompleteOK"},
    {15177, "tfAbort"},
    {15178, "tfDone"},
    // Receive state names (15179 + state).
    {15179, "rfNone"},
    {15180, "rfInit"},
    {15181, "rf1Init1"},
    {15182, "rf2Init1"},
    {15183, "rf2Init1A"},
    {15184, "rf2Init1B"},
    {15185, "rf2Init2"},
    {15186, "rf2Init3"},
    {15187, "rfWaiting"},
    {15188, "rfAnswer"},
    {15189, "rf1SendCSI"},
    {15190, "rf1SendDIS"},
    {15191, "rf1CollFrms"},
    {15192, "rf1CollRtry1"},
    {15193, "rf1CollRtry2"},
    {15194, "rf1StrtTrn"},
    {15195, "rf1CollTrn"},
    {15196, "rf1Timeout"},
    {15197, "rf1Retrain"},
    {15198, "rf1FinTrn"},
    {15199, "rf1SendCFR"},
    {15200, "rf1WtPgCnnct"},
    {15201, "rf2ValCnnct"},
    {15202, "rf2GtSndID"},
    {15203, "rf2GtCnnct"},
    {15204, "rfStartPage"},
    {15205, "rfGtPgDta"},
    {15206, "rf1FinPage"},
    {15207, "rf1WaitEOP"},
    {15208, "rf1WritePage"},
    {15209, "rf1SendMCF"},
    {15210, "rf1WaitDCN"},
    {15211, "rf1WtHngp"},
    {15212, "rf2GtPgRslt"},
    {15213, "rf2GetFHNG"},
    {15214, "rfComplete"},
    {15215, "rfAbort"},
    {15216, "rfDone"},
};

constexpr bool sortedById() {
    for (std::size_t i = 1; i < std::size(kErrorStrings); ++i)
        if (kErrorStrings[i - 1].id >= kErrorStrings[i].id)
            return false;
    return true;
}
static_assert(sortedById(), "the error-string table must be sorted by id");

unsigned absCode(int code) {
    return code < 0 ? 0u - static_cast<unsigned>(code) : static_cast<unsigned>(code);
}

} // namespace

std::span<const StringEntry> errorStringTable() { return kErrorStrings; }

std::string_view errorTableText(std::uint32_t id) {
    auto it = std::lower_bound(std::begin(kErrorStrings), std::end(kErrorStrings), id,
                               [](const StringEntry& e, std::uint32_t v) { return e.id < v; });
    if (it != std::end(kErrorStrings) && it->id == id)
        return it->text;
    return {};
}

std::string errorText(int code) {
    unsigned id = absCode(code);
    if (auto t = errorTableText(id); !t.empty())
        return std::string(t);
    char buf[256];
    // GNU strerror_r returns the message pointer; it may or may not use buf.
    std::string msg = strerror_r(static_cast<int>(id & 0x7FFFFFFFu), buf, sizeof buf);
    for (char& c : msg)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = ' ';
    return msg;
}

EVelkException::EVelkException(int code) : EVelkException(code, errorText(code)) {}
EVelkException::EVelkException(int code, const std::string& message)
    : std::runtime_error(message), code_(code) {}

EInOutError::EInOutError(int code) : std::runtime_error(errorText(code)), code_(code) {}

void raiseVelkError(int code, const std::string& detail) {
    if (code > 0)
        throw EInOutError(code);
    const std::string m = detail.empty() ? errorText(code) : errorText(code) + ": " + detail;
    switch (code) {
    case ec::BadArgument: throw EBadArgument(code, m);
    case ec::GotQuitMsg: throw EGotQuitMsg(code, m);
    case ec::BufferTooBig: throw EBufferTooBig(code, m);
    case ec::Internal: throw EInternal(code, m);
    case ec::TimeOut:
    case ec::TooManyErrors:
    case ec::SequenceError: throw EProtocol(code, m);
    case ec::FaxBadFormat: throw EFaxBadFormat(code, m);
    case ec::BadGraphicsFormat: throw EBadGraphicsFormat(code, m);
    case ec::ConvertAbort: throw EConvertAbort(code, m);
    case ec::UnpackAbort: throw EUnpackAbort(code, m);
    case ec::CantMakeBitmap: throw ECantMakeBitmap(code, m);
    case ec::FaxBadMachine: throw EFaxBadMachine(code, m);
    case ec::FaxBadModemResult: throw EFaxBadModemResult(code, m);
    case ec::FaxTrainError: throw EFaxTrainError(code, m);
    case ec::FaxInitError: throw EFaxInitError(code, m);
    case ec::FaxBusy: throw EFaxBusy(code, m);
    case ec::FaxVoiceCall: throw EFaxVoiceCall(code, m);
    case ec::FaxDataCall: throw EFaxDataCall(code, m);
    case ec::FaxNoDialTone: throw EFaxNoDialTone(code, m);
    case ec::FaxNoCarrier: throw EFaxNoCarrier(code, m);
    case ec::FaxSessionError: throw EFaxSessionError(code, m);
    case ec::FaxPageError: throw EFaxPageError(code, m);
    default: throw EVelkException(code, m);
    }
}

int codeFromException(const std::exception& e) noexcept {
    if (auto* apd = dynamic_cast<const EVelkException*>(&e))
        return apd->ErrorCode();
    if (auto* io = dynamic_cast<const EInOutError*>(&e))
        return -io->ErrorCode();
    if (dynamic_cast<const std::bad_alloc*>(&e))
        return ec::OutOfMemory;
    return ec::UnknownException;
}

int codeFromException(std::exception_ptr e) noexcept {
    if (!e)
        return ec::OK;
    try {
        std::rethrow_exception(e);
    } catch (const std::exception& ex) {
        return codeFromException(ex);
    } catch (...) {
        return ec::UnknownException;
    }
}

} // namespace faximage
