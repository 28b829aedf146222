// The Class 1 primitives (+FTH, +FRH, +FTM, +FRM, +FTS) of a T.31 modem, driven by the
// Class 2 modem the way a Class 1 program would drive them: the Class 2 modem runs the
// T.30 procedure itself, so that it can wait for its program between the steps.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

struct t31_state_s;
struct at_state_s;

namespace vline {

// Data for +FTH/+FTM with its DLE bytes doubled and DLE ETX at the end.
std::vector<std::uint8_t> dleFramed(std::span<const std::uint8_t> data);

enum class LinkResult { Ok, Connect, NoCarrier, Error, FcError };
std::string_view to_string(LinkResult r);

class Class1Link {
public:
    Class1Link();
    ~Class1Link();
    Class1Link(const Class1Link&) = delete;
    Class1Link& operator=(const Class1Link&) = delete;

    // Starts a command ("+FTH=3"). Results arrive through takeResult().
    void command(const std::string& cmd);
    std::optional<LinkResult> takeResult();

    // Received data of +FRH/+FRM without the DLE stuffing; `ended` becomes true at DLE ETX.
    std::vector<std::uint8_t> takeData();
    bool dataEnded() const { return dataEnded_; }

    // Data for +FTH/+FTM after CONNECT, stuffed by the caller (DLE ETX ends it).
    void send(std::span<const std::uint8_t> data);
    bool canSend() const { return cts_; }
    // Stops a +FRH/+FRM wait (any byte from the program does that).
    void cancelReceive();

    // The call was answered by us: CED, then HDLC transmission (CONNECT).
    void answered();
    // Our call was answered: HDLC reception of the answering side's frames (CONNECT).
    void connected();
    // A fresh modem: on hook, no call.
    void reset();

    void transmit(std::span<std::int16_t> out);
    void receive(std::span<const std::int16_t> in);

private:
    static int onAtTx(at_state_s* at, void* user, const std::uint8_t* buf, std::size_t len);
    static int onModemControl(t31_state_s* s, void* user, int op, const char* num);
    void parse(std::uint8_t b);

    struct T31Deleter {
        void operator()(t31_state_s* s) const;
    };
    std::unique_ptr<t31_state_s, T31Deleter> t31_;
    std::deque<LinkResult> results_;
    std::vector<std::uint8_t> data_;
    std::string line_;
    bool receiving_ = false; // the last command receives data after CONNECT
    bool inData_ = false;
    bool dle_ = false;
    bool skipLf_ = false;
    bool dataEnded_ = false;
    bool cts_ = true;
};

} // namespace vline
