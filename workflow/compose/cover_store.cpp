#include "workflow/compose/cover_store.h"

#include "workflow/compose/cover_editor.h"
#include "workflow/render/memo_rich_text.h"
#include "workflow/richtext/rtf_writer.h"

#include "faxlog/dbe_table.h"
#include "faxlog/log_tables.h"

#include <QTextDocument>

namespace workflow::compose {

namespace {

void writeTemplate(faxlog::TDbeTable& covers, const QString& description, const QTextDocument& cover) {
    covers.replace("DESCRIPT", description.left(kCoverDescriptionChars).toStdString());
    const QByteArray rtf = richtext::writeRtf(cover);
    covers.replaceMemo("COVER", std::string_view(rtf.constData(), static_cast<std::size_t>(rtf.size())));
    covers.commit();
}

} // namespace

QString clonedText(const QString& text, int width) {
    return (QString::fromLatin1(kClonePrefix) + text).left(width);
}

std::unique_ptr<faxlog::TDbeTable> openCoverTable(faxlog::DbeEngine& engine, const std::filesystem::path& dir) {
    auto table = std::make_unique<faxlog::TDbeTable>(engine);
    try {
        if (!faxlog::openLogTable(*table, faxlog::LogTableKind::Cover, dir))
            return nullptr;
    } catch (const std::exception&) {
        return nullptr;
    }
    return table;
}

QString currentDescription(faxlog::TDbeTable& covers) {
    return QString::fromStdString(covers.getTrimString("DESCRIPT"));
}

void loadCurrentCover(QTextDocument& document, faxlog::TDbeTable& covers, const std::filesystem::path& dir) {
    render::loadRichText(document, covers, "COVER", dir);
}

void appendCover(faxlog::TDbeTable& covers, const QString& description, const QTextDocument& cover) {
    covers.appendBlank();
    writeTemplate(covers, description, cover);
}

void updateCover(faxlog::TDbeTable& covers, const QString& description, const QTextDocument& cover) {
    writeTemplate(covers, description, cover);
}

} // namespace workflow::compose
