// TVelkComPort: the serial port component. It holds the port's settings as properties,
// opens a dispatcher on the device its port number maps to, and turns trigger messages
// into its On... events.
#pragma once

#include "faxengine/dispatcher.h"
#include "faxengine/port_types.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace faxengine {

// Port number -> device path, from the [Ports] section of the settings (COMn=/dev/...).
// Returns nothing for numbers the settings do not name.
using PortDeviceMap = std::function<std::optional<std::string>(int comNumber)>;

// The device of a port number: the map's entry, else /dev/ttyS(n-1).
std::string portDevice(int comNumber, const PortDeviceMap& map);

// Port numbers 1-50 whose device exists and can be opened now, or is held by another
// program; what the "Select Port" dialog lists as "COM%d".
std::vector<int> availablePorts(const PortDeviceMap& map);

class TVelkComPort {
public:
    TVelkComPort();
    ~TVelkComPort();
    TVelkComPort(const TVelkComPort&) = delete;
    TVelkComPort& operator=(const TVelkComPort&) = delete;

    // Where port numbers lead, and the "Select Port" dialog (returns a number, 0 when
    // cancelled). Both are the owner's to supply.
    void SetPortDeviceMap(PortDeviceMap map) { deviceMap_ = std::move(map); }
    void SetPortSelector(std::function<int()> selector) { selector_ = std::move(selector); }
    // Runs a call on the owner's thread and returns when done (the port's hidden window).
    // Without it the events run on the dispatcher's thread.
    void SetOwnerInvoker(MainThreadInvoker invoker) { invoker_ = std::move(invoker); }
    // A device path that overrides the port number (for tools and tests).
    void SetDevicePath(std::string path) { devicePath_ = std::move(path); }
    // The device the port opens (or has open).
    std::string DevicePath() const;

    // Published properties.
    int ComNumber() const { return comNumber_; }
    void SetComNumber(int n);
    int Baud() const { return line_.baud; }
    void SetBaud(int baud);
    bool PromptForPort() const { return promptForPort_; }
    void SetPromptForPort(bool on) { promptForPort_ = on; }
    TParity Parity() const { return line_.parity; }
    void SetParity(TParity p);
    int DataBits() const { return line_.dataBits; }
    void SetDataBits(int bits);
    int StopBits() const { return line_.stopBits; }
    void SetStopBits(int bits);
    int InSize() const { return inSize_; }
    void SetInSize(int size);
    int OutSize() const { return outSize_; }
    void SetOutSize(int size);
    bool AutoOpen() const { return autoOpen_; }
    void SetAutoOpen(bool on) { autoOpen_ = on; }
    bool Open() const { return dispatcher_ && dispatcher_->IsOpen() && !closing_; }
    void SetOpen(bool on);
    bool DTR() const { return dtr_; }
    void SetDTR(bool on);
    bool RTS() const { return rts_; }
    void SetRTS(bool on);
    std::uint8_t HWFlowOptions() const { return flow_.hwOptions; }
    void SetHWFlowOptions(std::uint8_t options);
    TSWFlowOptions SWFlowOptions() const { return flow_.swOptions; }
    void SetSWFlowOptions(TSWFlowOptions o);
    std::uint8_t XOnChar() const { return flow_.xonChar; }
    void SetXOnChar(std::uint8_t c);
    std::uint8_t XOffChar() const { return flow_.xoffChar; }
    void SetXOffChar(std::uint8_t c);
    int BufferFull() const { return flow_.bufferFull; }
    void SetBufferFull(int n);
    int BufferResume() const { return flow_.bufferResume; }
    void SetBufferResume(int n);
    TTraceLogState Tracing() const { return tracing_; }
    void SetTracing(TTraceLogState s);
    int TraceSize() const { return traceSize_; }
    void SetTraceSize(int entries); // above 4000000 raises EBadArgument
    const std::string& TraceName() const { return traceName_; }
    void SetTraceName(std::string name) { traceName_ = std::move(name); }
    bool TraceHex() const { return traceHex_; }
    void SetTraceHex(bool on) { traceHex_ = on; }
    TTraceLogState Logging() const { return logging_; }
    void SetLogging(TTraceLogState s);
    int LogSize() const { return logSize_; }
    void SetLogSize(int bytes);
    const std::string& LogName() const { return logName_; }
    void SetLogName(std::string name) { logName_ = std::move(name); }
    bool LogHex() const { return logHex_; }
    void SetLogHex(bool on) { logHex_ = on; }
    bool UseMSRShadow() const { return useMsrShadow_; }
    void SetUseMSRShadow(bool on) { useMsrShadow_ = on; } // no effect
    bool UseEventWord() const { return useEventWord_; }
    void SetUseEventWord(bool on);
    int CommNotificationLevel() const { return commNotificationLevel_; }
    void SetCommNotificationLevel(int n) { commNotificationLevel_ = n; } // only stored
    bool RS485Mode() const { return rs485_; }
    void SetRS485Mode(bool on);

    // Events. Handles and counts are 16-bit as the messages carry them.
    std::function<void(TVelkComPort& cp, std::uint16_t msg, std::uint16_t triggerHandle,
                       std::uint16_t data)>
        OnTrigger;
    std::function<void(TVelkComPort& cp, std::uint16_t count)> OnTriggerAvail;
    std::function<void(TVelkComPort& cp, std::uint16_t triggerHandle)> OnTriggerData;
    std::function<void(TVelkComPort& cp, std::uint16_t triggerHandle)> OnTriggerStatus;
    std::function<void(TVelkComPort& cp, std::uint16_t triggerHandle)> OnTriggerTimer;
    std::function<void(TVelkComPort& cp, std::uint16_t error, bool lineBreak)> OnTriggerLineError;
    std::function<void(TVelkComPort& cp)> OnTriggerModemStatus;
    std::function<void(TVelkComPort& cp)> OnTriggerOutbuffFree;
    std::function<void(TVelkComPort& cp)> OnTriggerOutbuffUsed;
    std::function<void(TVelkComPort& cp)> OnTriggerOutSent;
    std::function<void(TVelkComPort& cp, char c)> OnWaitChar;
    // The device went away or the port's threads failed; the port should be closed.
    std::function<void(TVelkComPort& cp, int errorCode)> OnPortLost;

    // The open dispatcher; opens the port first when AutoOpen is on. Raises ECommNotOpen
    // when the port is closed and AutoOpen is off.
    TVelkBaseDispatcher& Dispatcher();
    bool HasDispatcher() const { return dispatcher_ != nullptr; }

    // Common operations, raising the engine's exceptions on failure.
    void PutString(std::string_view s);
    void PutChar(std::uint8_t c);
    void FlushInBuffer();
    void FlushOutBuffer();
    std::size_t InBuffUsed();
    std::size_t OutBuffFree();
    std::size_t OutBuffUsed();
    int AddDataTrigger(std::string_view match, bool ignoreCase);
    int AddTimerTrigger();
    int AddStatusTrigger(int type);
    void SetTimerTrigger(std::uint16_t handle, std::int32_t ticks, bool activate);
    void SetStatusTrigger(std::uint16_t handle, std::uint16_t value, bool activate);
    void RemoveTrigger(std::uint16_t handle);

    // Finishes a close that was asked for from inside an event (the close request).
    void ProcessCloseRequest();

private:
    class HiddenWindow;
    void openPort();
    void closePort();
    void applyFlow();
    void applyTracing(TTraceLogState requested);
    void applyLogging(TTraceLogState requested);
    void handleMessage(std::uint16_t msg, std::uint16_t trigger, std::uint32_t param);
    void finishDeferredClose();

    PortDeviceMap deviceMap_;
    std::function<int()> selector_;
    MainThreadInvoker invoker_;
    std::string devicePath_;
    std::string openDevice_;

    int comNumber_ = 0;
    bool promptForPort_ = true;
    LineSettings line_;
    int inSize_ = 4096;
    int outSize_ = 4096;
    bool autoOpen_ = true;
    bool dtr_ = true;
    bool rts_ = true;
    FlowSettings flow_;
    TTraceLogState tracing_ = TTraceLogState::tlOff;
    int traceSize_ = 10000;
    std::string traceName_ = "VELK.TRC";
    bool traceHex_ = true;
    TTraceLogState logging_ = TTraceLogState::tlOff;
    int logSize_ = 10000;
    std::string logName_ = "VELK.LOG";
    bool logHex_ = true;
    bool useMsrShadow_ = true;
    bool useEventWord_ = true;
    int commNotificationLevel_ = 10;
    bool rs485_ = false;

    std::unique_ptr<TVelkBaseDispatcher> dispatcher_;
    std::unique_ptr<HiddenWindow> window_;
    std::atomic<bool> closing_{false};
};

} // namespace faxengine
