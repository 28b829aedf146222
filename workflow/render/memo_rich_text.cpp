#include "workflow/render/memo_rich_text.h"

#include "workflow/render/fax_file_names.h"
#include "workflow/richtext/rtf_writer.h"

#include "faxlog/dbe_table.h"

#include <QFile>
#include <QTextDocument>

#include <system_error>

namespace workflow::render {

richtext::RtfReadResult loadRichText(QTextDocument& document, faxlog::TDbeTable& table,
                                     std::string_view field, const std::filesystem::path& dir) {
    document.clear();
    const std::filesystem::path transfer = richTextTransferFile(dir);
    richtext::RtfReadResult result;
    result.status = richtext::RtfReadStatus::Empty;
    if (!table.blobToFile(field, transfer))
        return result;
    QFile file(QString::fromStdString(transfer.string()));
    if (file.open(QIODevice::ReadOnly)) {
        const QByteArray bytes = file.readAll();
        file.close();
        result = richtext::readRtf(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())),
                                   document);
    }
    std::error_code ec;
    std::filesystem::remove(transfer, ec);
    return result;
}

void saveRichText(const QTextDocument& document, faxlog::TDbeTable& table, std::string_view field,
                  const std::filesystem::path& dir, const richtext::PageSetup& page) {
    const std::filesystem::path transfer = richTextTransferFile(dir);
    QFile file(QString::fromStdString(transfer.string()));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw std::runtime_error("cannot write " + transfer.string());
    const QByteArray rtf = richtext::writeRtf(document, page);
    if (file.write(rtf) != rtf.size() || !file.flush())
        throw std::runtime_error("cannot write " + transfer.string());
    file.close();
    table.replaceFromFile(field, transfer);
}

} // namespace workflow::render
