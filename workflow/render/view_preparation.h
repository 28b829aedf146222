// What the View/Print command hands to the viewer: the fax file, the header text printed
// above each page, and whether the file is deleted after viewing.
#pragma once

#include "workflow/render/fax_file_builder.h"

#include <QString>

#include <filesystem>

namespace workflow::render {

inline constexpr const char* kFaxFileMissing = "Fax file is missing";
inline constexpr const char* kErrorCreatingFaxFile = "Error creating fax file";

struct ViewRequest {
    std::filesystem::path file;
    QString headerText;
    bool deleteAfterViewing = false;
    QString error; // an information box's text when the viewer cannot open

    bool ok() const { return error.isEmpty(); }
};

struct ReceivedFax {
    QString from;         // FROM
    QString dateTimeText; // the record's date and time caption
    QString faxFile;      // FAXFILE, a name in the receive directory
};

struct SentFax {
    QString recipient;
    QString subject;
    QString dateTimeText; // "not sent" for an unsent fax
};

// A received fax: its file in the receive directory; an error when it is missing.
ViewRequest prepareReceivedView(const std::filesystem::path& programDir, const ReceivedFax& fax);

// A sent fax whose fax file was just built (an empty build result is an error).
ViewRequest prepareSentView(const BuildResult& built, const SentFax& fax);

} // namespace workflow::render
