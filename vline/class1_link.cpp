#include "class1_link.h"

#include "spandsp_api.h"
#include "base/t30_codes.h"

#include <algorithm>
#include <stdexcept>

namespace vline {

namespace {
using t30::kDLE;
using t30::kETX;
} // namespace

std::vector<std::uint8_t> dleFramed(std::span<const std::uint8_t> f) {
    std::vector<std::uint8_t> out;
    for (std::uint8_t b : f) {
        out.push_back(b);
        if (b == kDLE)
            out.push_back(kDLE);
    }
    out.push_back(kDLE);
    out.push_back(kETX);
    return out;
}

std::string_view to_string(LinkResult r) {
    switch (r) {
    case LinkResult::Ok:
        return "OK";
    case LinkResult::Connect:
        return "CONNECT";
    case LinkResult::NoCarrier:
        return "NO CARRIER";
    case LinkResult::Error:
        return "ERROR";
    case LinkResult::FcError:
        return "+FCERROR";
    }
    return "?";
}

void Class1Link::T31Deleter::operator()(t31_state_s* s) const {
    if (s->rx_queue) {
        queue_free(s->rx_queue);
        s->rx_queue = nullptr;
    }
    t31_free(s);
}

Class1Link::Class1Link() {
    reset();
}
Class1Link::~Class1Link() = default;

void Class1Link::reset() {
    t31_.reset(t31_init(nullptr, &Class1Link::onAtTx, this, &Class1Link::onModemControl, this,
                        nullptr, nullptr));
    if (!t31_)
        throw std::runtime_error("t31_init failed");
    t31_set_transmit_on_idle(t31_.get(), 1);
    at_state_t& at = t31_->at_state;
    at.p.echo = 0;
    at.p.verbose = 1;
    at.p.result_code_format = 1; // ASCII results
    at.fclass_mode = 1;
    results_.clear();
    data_.clear();
    line_.clear();
    receiving_ = inData_ = dle_ = dataEnded_ = false;
    cts_ = true;
}

void Class1Link::command(const std::string& cmd) {
    receiving_ = cmd.rfind("+FRH", 0) == 0 || cmd.rfind("+FRM", 0) == 0;
    dataEnded_ = false;
    const std::string line = "AT" + cmd + "\r";
    t31_at_rx(t31_.get(), line.data(), static_cast<int>(line.size()));
}

std::optional<LinkResult> Class1Link::takeResult() {
    if (results_.empty())
        return std::nullopt;
    LinkResult r = results_.front();
    results_.pop_front();
    return r;
}

std::vector<std::uint8_t> Class1Link::takeData() {
    std::vector<std::uint8_t> out;
    out.swap(data_);
    return out;
}

void Class1Link::send(std::span<const std::uint8_t> data) {
    if (!data.empty())
        t31_at_rx(t31_.get(), reinterpret_cast<const char*>(data.data()),
                  static_cast<int>(data.size()));
}

void Class1Link::cancelReceive() {
    const char can = 0x18;
    t31_at_rx(t31_.get(), &can, 1);
}

void Class1Link::answered() {
    command("A");
    receiving_ = false;
    t31_call_event(t31_.get(), AT_CALL_EVENT_ANSWERED);
}

void Class1Link::connected() {
    command("D");
    receiving_ = true;
    t31_call_event(t31_.get(), AT_CALL_EVENT_CONNECTED);
}

void Class1Link::transmit(std::span<std::int16_t> out) {
    const int n = t31_tx(t31_.get(), out.data(), static_cast<int>(out.size()));
    std::fill(out.begin() + std::max(n, 0), out.end(), std::int16_t{0});
}

void Class1Link::receive(std::span<const std::int16_t> in) {
    std::vector<std::int16_t> copy(in.begin(), in.end());
    t31_rx(t31_.get(), copy.data(), static_cast<int>(copy.size()));
}

int Class1Link::onModemControl(t31_state_s*, void* user, int op, const char* num) {
    auto* self = static_cast<Class1Link*>(user);
    if (op == AT_MODEM_CONTROL_CTS)
        self->cts_ = num != nullptr;
    return 0;
}

int Class1Link::onAtTx(at_state_s*, void* user, const std::uint8_t* buf, std::size_t len) {
    auto* self = static_cast<Class1Link*>(user);
    for (std::size_t i = 0; i < len; ++i)
        self->parse(buf[i]);
    return static_cast<int>(len);
}

void Class1Link::parse(std::uint8_t b) {
    if (inData_ && skipLf_) {
        // The line end after CONNECT is not data.
        skipLf_ = false;
        if (b == '\n')
            return;
    }
    if (inData_) {
        if (dle_) {
            dle_ = false;
            if (b == kETX) {
                inData_ = false;
                dataEnded_ = true;
            } else if (b == kDLE) {
                data_.push_back(kDLE);
            }
            return;
        }
        if (b == kDLE)
            dle_ = true;
        else
            data_.push_back(b);
        return;
    }
    if (b == '\r' || b == '\n') {
        if (line_.empty())
            return;
        std::optional<LinkResult> r;
        if (line_ == "OK")
            r = LinkResult::Ok;
        else if (line_ == "CONNECT")
            r = LinkResult::Connect;
        else if (line_ == "NO CARRIER")
            r = LinkResult::NoCarrier;
        else if (line_ == "ERROR")
            r = LinkResult::Error;
        else if (line_ == "+FCERROR")
            r = LinkResult::FcError;
        line_.clear();
        if (r) {
            results_.push_back(*r);
            if (*r == LinkResult::Connect && receiving_) {
                inData_ = true;
                dle_ = false;
                skipLf_ = true;
            }
        }
        return;
    }
    if (line_.size() < 64)
        line_ += static_cast<char>(b);
}

} // namespace vline
