#include "faximage/dcx_writer.h"

#include "faximage/fax_errors.h"
#include "faximage/pcx_writer.h"

#include <system_error>

namespace faximage {

namespace {
void put32(std::vector<std::uint8_t>& v, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        v[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}
} // namespace

DcxWriter::~DcxWriter() = default;

int DcxWriter::fail(int code) {
    out_.discard();
    return code;
}

int DcxWriter::open(const std::filesystem::path& path) {
    offsets_.clear();
    if (int rc = out_.open(path); rc != 0)
        return rc;
    std::vector<std::uint8_t> header(kDcxHeaderSize, 0);
    put32(header, 0, kDcxMagic);
    if (int rc = out_.file().writeAll(header); rc != 0)
        return fail(rc);
    end_ = kDcxHeaderSize;
    return 0;
}

int DcxWriter::addPage(const MonoBitmap& page) {
    if (!out_.isOpen())
        return ec::BadHandle;
    if (offsets_.size() >= static_cast<std::size_t>(kDcxMaxPages))
        return ec::BadArgument;
    const std::vector<std::uint8_t> pcx = encodePcx(page);
    if (end_ + pcx.size() > 0xFFFFFFFFu)
        return fail(ec::BufferTooBig);
    if (int rc = out_.file().writeAll(pcx); rc != 0)
        return fail(rc);
    offsets_.push_back(static_cast<std::uint32_t>(end_));
    end_ += pcx.size();
    return 0;
}

int DcxWriter::close() {
    if (!out_.isOpen())
        return ec::BadHandle;
    std::vector<std::uint8_t> table(offsets_.size() * 4);
    for (std::size_t i = 0; i < offsets_.size(); ++i)
        put32(table, i * 4, offsets_[i]);
    if (int rc = out_.file().writeAllAt(4, table); rc != 0)
        return fail(rc);
    if (int rc = out_.commit(); rc != 0)
        return fail(rc);
    return 0;
}

int writeDcxFile(const std::filesystem::path& path, const MonoBitmap& page) {
    DcxWriter w;
    if (int rc = w.open(path); rc != 0)
        return rc;
    if (int rc = w.addPage(page); rc != 0)
        return rc;
    return w.close();
}

} // namespace faximage
