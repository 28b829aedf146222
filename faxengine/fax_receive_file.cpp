#include "faxengine/fax_receive_file.h"

#include "faxengine/engine_errors.h"

#include <cerrno>
#include <system_error>

namespace faxengine {

namespace {
constexpr int kDeviceWriteError = -160;

// Short writes of received data are a device error; system codes pass through.
int writeCode(int rc) {
    return rc == -100 ? kDeviceWriteError : rc;
}
// Stored ids are always 20 characters, filled with spaces.
std::string padded(std::string_view id) {
    std::string s(id.substr(0, faximage::kApfStationIdLength));
    s.resize(faximage::kApfStationIdLength, ' ');
    return s;
}
} // namespace

ReceiveFile::~ReceiveFile() {
    if (file_.isOpen())
        Close();
}

int ReceiveFile::Create(const std::filesystem::path& path, std::string_view remoteId) {
    if (file_.isOpen())
        Close();
    header_ = {};
    header_.dateTime = faximage::dosDateTimeOf(std::chrono::system_clock::now());
    header_.setStationId(padded(remoteId));
    header_.pageCount = 0;
    header_.firstPageOffset = faximage::kApfFirstPageOffset;
    inPage_ = false;
    buffer_.clear();
    path_ = path;
    if (int rc = file_.open(path, faximage::PosixFile::Mode::CreateTruncate); rc != 0)
        return rc;
    auto bytes = header_.serialize();
    if (int rc = file_.writeAll(bytes); rc != 0)
        return writeCode(rc);
    end_ = faximage::kApfFileHeaderSize;
    return 0;
}

int ReceiveFile::BeginPage(std::uint16_t flags) {
    if (int rc = flush(); rc != 0)
        return rc;
    page_ = {};
    page_.flags = flags;
    pageStart_ = end_;
    auto bytes = page_.serialize();
    if (int rc = file_.writeAllAt(pageStart_, bytes); rc != 0)
        return writeCode(rc);
    end_ += faximage::kApfPageHeaderSize;
    inPage_ = true;
    return 0;
}

int ReceiveFile::Append(std::span<const std::uint8_t> data) {
    for (std::uint8_t b : data) {
        buffer_.push_back(b);
        ++page_.imageLength;
        if (buffer_.size() >= kWriteBufferSize)
            if (int rc = flush(); rc != 0)
                return rc;
    }
    return 0;
}

int ReceiveFile::flush() {
    if (buffer_.empty())
        return 0;
    int rc = file_.writeAllAt(end_, buffer_);
    if (rc != 0)
        return writeCode(rc);
    end_ += buffer_.size();
    buffer_.clear();
    return 0;
}

int ReceiveFile::EndPage(std::string_view remoteId, std::chrono::system_clock::time_point when) {
    if (int rc = flush(); rc != 0)
        return rc;
    ++header_.pageCount;
    header_.setStationId(padded(remoteId));
    header_.dateTime = faximage::dosDateTimeOf(when);
    auto fh = header_.serialize();
    if (int rc = file_.writeAllAt(0, fh); rc != 0)
        return writeCode(rc);
    auto ph = page_.serialize();
    if (int rc = file_.writeAllAt(pageStart_, ph); rc != 0)
        return writeCode(rc);
    inPage_ = false;
    return 0;
}

int ReceiveFile::DiscardPage() {
    buffer_.clear();
    if (!inPage_)
        return 0;
    std::error_code err;
    std::filesystem::resize_file(path_, pageStart_, err);
    if (err)
        return -err.value();
    end_ = pageStart_;
    page_ = {};
    inPage_ = false;
    return 0;
}

int ReceiveFile::Close() {
    int rc = flush();
    int rc2 = file_.close();
    inPage_ = false;
    return rc != 0 ? rc : rc2;
}

} // namespace faxengine
