#include "workflow/render/view_preparation.h"

#include <system_error>

namespace workflow::render {

namespace {
const QString kGap = QStringLiteral("             ");
constexpr const char* kReceiveDirName = "receive";
} // namespace

ViewRequest prepareReceivedView(const std::filesystem::path& programDir, const ReceivedFax& fax) {
    ViewRequest request;
    request.file = programDir / kReceiveDirName / fax.faxFile.toStdString();
    std::error_code ec;
    if (fax.faxFile.trimmed().isEmpty() || !std::filesystem::is_regular_file(request.file, ec)) {
        request.error = QString::fromLatin1(kFaxFileMissing);
        return request;
    }
    const QString shownPath =
        QString::fromStdString((programDir / "Receive" / fax.faxFile.toStdString()).string()).toLower();
    request.headerText = QStringLiteral("From: ") + fax.from.trimmed() + kGap + QStringLiteral("Received: ") +
                         fax.dateTimeText + kGap + QStringLiteral("Fax File: ") + shownPath;
    return request;
}

ViewRequest prepareSentView(const BuildResult& built, const SentFax& fax) {
    ViewRequest request;
    if (built.file.empty()) {
        request.error = QString::fromLatin1(kErrorCreatingFaxFile);
        return request;
    }
    request.file = built.file;
    request.deleteAfterViewing = true;
    request.headerText = QStringLiteral("To: ") + fax.recipient + kGap + QStringLiteral("Subject: ") +
                         fax.subject + kGap + QStringLiteral("Sent: ") + fax.dateTimeText;
    return request;
}

} // namespace workflow::render
