#include "workflow/render/fax_file_builder.h"

#include "workflow/render/apf_join.h"
#include "workflow/render/document_renderer.h"
#include "workflow/render/memo_rich_text.h"
#include "workflow/richtext/document_empty.h"

#include <system_error>
#include <vector>

namespace workflow::render {

namespace {

void busy(const BuildFeedback& f, bool on) {
    if (f.setBusy)
        f.setBusy(on);
}
void status(const BuildFeedback& f, const QString& text) {
    if (f.setStatus)
        f.setStatus(text);
    if (f.processEvents)
        f.processEvents();
}

} // namespace

BuildResult buildFaxFile(QTextDocument& cover, QTextDocument& body, const std::filesystem::path& dir,
                         const BuildFeedback& feedback, const richtext::PageSetup& page) {
    const bool coverEmpty = richtext::isDocumentEmpty(cover);
    const bool bodyEmpty = richtext::isDocumentEmpty(body);
    if (coverEmpty && bodyEmpty) {
        busy(feedback, false);
        status(feedback, QString());
        if (feedback.showMessage)
            feedback.showMessage(QString::fromLatin1(kNothingToFax));
        return {};
    }
    status(feedback, QStringLiteral("Creating fax file...."));
    std::vector<std::filesystem::path> pages;
    RenderOptions options;
    options.page = page;
    if (feedback.processEvents)
        options.yield = [&feedback] {
            feedback.processEvents();
            return true;
        };
    BuildResult result;
    try {
        if (!coverEmpty)
            renderDocument(cover, dir, pages, options);
        if (!bodyEmpty)
            renderDocument(body, dir, pages, options);
        result.pageCount = static_cast<int>(pages.size());
        status(feedback, QStringLiteral("Creating fax file........"));
        result.file = joinPageFiles(pages);
    } catch (...) {
        // Leftover page files would push the next build to another file name.
        for (const auto& p : pages) {
            std::error_code ec;
            std::filesystem::remove(p, ec);
        }
        throw;
    }
    busy(feedback, false);
    status(feedback, QString());
    return result;
}

BuildResult buildFaxFile(faxlog::TDbeTable& sent, QTextDocument& cover, QTextDocument& body,
                         const std::filesystem::path& dir, const BuildFeedback& feedback) {
    busy(feedback, true);
    status(feedback, QStringLiteral("Creating fax file"));
    loadRichText(cover, sent, "RTFCOVER", dir);
    loadRichText(body, sent, "RTFDOC", dir);
    return buildFaxFile(cover, body, dir, feedback);
}

} // namespace workflow::render
