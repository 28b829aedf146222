// Class 1 HDLC frames: sending the frames the session builds and parsing the ones the
// modem hands over; speed negotiation from DIS/DCS and the step-down after FTT/RTN.
#include "faxengine/fax_session.h"

#include "faxengine/engine_errors.h"

#include <algorithm>
#include <vector>

namespace faxengine {

void FaxSession::SendFrameStart(bool final) {
    delay(faxtime::FrameStartDelay);
    const std::uint8_t head[2] = {kHdlcAddress, final ? kHdlcControlFinal : kHdlcControlNonFinal};
    port->PutBlock(head);
}

void FaxSession::SendFrameEnd() {
    const std::uint8_t tail[2] = {kDLE, kETX};
    port->PutBlock(tail);
}

void FaxSession::SendFcfFrame(std::uint8_t fcfByte, bool final) {
    SendFrameStart(final);
    port->PutChar(fcfByte);
    SendFrameEnd();
}

void FaxSession::SendIdFrame(std::uint8_t fcfByte) {
    SendFrameStart(false);
    std::vector<std::uint8_t> body{fcfByte};
    for (std::uint8_t c : idFif(stationId)) {
        body.push_back(c);
        if (c == kDLE) // an ID is free text: keep a DLE in it from ending the frame
            body.push_back(c);
    }
    port->PutBlock(body);
    SendFrameEnd();
}

void FaxSession::SendDisFrame(bool fineOffered) {
    SendFrameStart(true);
    const auto fif = disFif(fineOffered, modulation);
    const std::uint8_t body[5] = {fcf::DIS, fif[0], fif[1], fif[2], fif[3]};
    port->PutBlock(body);
    SendFrameEnd();
}

void FaxSession::SendDcsFrame() {
    SendFrameStart(true);
    const auto fif = dcsFif(resolution == '1', modulation, scanTimeCode, wide);
    const std::uint8_t body[5] = {fcf::DCSx, fif[0], fif[1], fif[2], fif[3]};
    port->PutBlock(body);
    SendFrameEnd();
    modulationCode = std::string(kLongTrainCodes[std::clamp(modulation, 1, 6)]);
}

void FaxSession::SendTrainingCheck() {
    int left = trainingCheckBytes(bps);
    static constexpr std::array<std::uint8_t, 512> kZeros{};
    while (left > 0) {
        const int n = std::min<int>(left, kZeros.size());
        if (port->PutBlock(std::span(kZeros.data(), n)) != 0) {
            // Output ring full: wait for room rather than drop part of the check.
            if (!port->IsOpen() || !port->WaitOutputEmpty(std::chrono::milliseconds(2000)))
                return;
            continue;
        }
        left -= n;
    }
    SendFrameEnd();
}

// ---- parsing ------------------------------------------------------------------------------

void FaxSession::DecodeDis(std::uint8_t byte2, std::uint8_t byte3) {
    remoteSupport = disRemoteSupport(byte2);
    localSupport[1] = localSupport[2] = true;
    modulation = 1;
    for (int i = 6; i >= 1; --i)
        if (localSupport[i] && remoteSupport[i] && kModulationBps[i] <= desiredBps) {
            modulation = i;
            break;
        }
    bps = kModulationBps[modulation];
    fine = resolution == '1';
    wide = pageHeader.wide();
    remoteFine = byte2 & 0x40;
    remoteWide = (byte3 & 3) == 1;
    scanTimeCode = scanTimeCodeOf(byte3);
    ecmInUse = false;
    ComputeMinLineBytes();
}

void FaxSession::DecodeDcs(std::uint8_t byte2, std::uint8_t byte3) {
    modulation = dcsModulation(byte2);
    bps = kModulationBps[modulation];
    fine = byte2 & 0x40;
    wide = (byte3 & 3) == 1;
    scanTimeCode = scanTimeCodeOf(byte3);
    ecmInUse = false;
    modulationCode = std::string(dcsTrainingCode(byte2));
    ComputeMinLineBytes();
}

int FaxSession::ParseFrame() {
    std::size_t start = response.find('\xFF');
    if (start == std::string::npos)
        start = response.empty() ? 0 : response.size() - 1;
    response.erase(0, start);
    if (response.size() < 3)
        return 0;
    const auto* r = reinterpret_cast<const std::uint8_t*>(response.data());
    std::size_t end = response.size();
    if (end >= 5 && r[end - 2] == kDLE && r[end - 1] == kETX)
        end -= 2;
    const std::uint8_t* fif = r + 3;
    const std::size_t fifLen = end > 3 ? end - 3 : 0;
    auto fifByte = [&](std::size_t i) -> std::uint8_t { return i < fifLen ? fif[i] : 0; };

    lastFrameFinal = r[1] & 0x10;
    lastFcf = r[2];
    switch (lastFcf) {
    case fcf::CSI:
    case fcf::CIG:
    case fcf::TSI:
    case fcf::TSIx:
        remoteId = idFromFif(fif, fifLen);
        remoteId.resize(20, ' ');
        faxStatus = 41;
        break;
    case fcf::FTT:
    case fcf::FTTx:
    case fcf::RTN:
    case fcf::RTNx:
        retrainRequested = true;
        break;
    case fcf::DIS:
    case fcf::DTC:
        DecodeDis(fifByte(1), fifByte(2));
        if ((resolution == '1' && !remoteFine) || (pageHeader.wide() && !remoteWide)) {
            ReportError(ec::FaxBadMachine);
            return ec::FaxBadMachine;
        }
        faxStatus = 40;
        break;
    case fcf::DCS:
    case fcf::DCSx:
        DecodeDcs(fifByte(1), fifByte(2));
        faxStatus = 40;
        break;
    case fcf::CFR:
    case fcf::CFRx:
        cfrReceived = true;
        break;
    case fcf::DCN:
    case fcf::DCNx:
        ResetReader();
        return ec::CancelRequested;
    default:
        break;
    }
    return 0;
}

bool FaxSession::StepDownSpeed() {
    do
        --modulation;
    while (modulation > 0 && !(localSupport[modulation] && remoteSupport[modulation]));
    if (modulation <= 0) {
        modulation = 0;
        return false;
    }
    bps = kModulationBps[modulation];
    ComputeMinLineBytes();
    return true;
}

void FaxSession::ComputeMinLineBytes() { minLineBytes = minLineBytesFor(scanTimeCode, fine, bps); }

void FaxSession::ApplyClass2Report(std::string_view report) {
    const Class2Params p = parseClass2Params(cleanReport(report));
    bps = p.bps;
    fine = remoteFine = p.fine;
    wide = remoteWide = p.wide;
    ecmInUse = p.ecm;
    scanTimeCode = p.scanTimeCode;
    ComputeMinLineBytes();
}

} // namespace faxengine
