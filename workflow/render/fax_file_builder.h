// Building the fax file of a sent-log record: its cover and document body rendered to
// pages (cover first), the page files joined into one APF file.
#pragma once

#include "workflow/richtext/page_setup.h"

#include <QString>

#include <filesystem>
#include <functional>

class QTextDocument;

namespace faxlog { class TDbeTable; }

namespace workflow::render {

// What the build shows while it runs; every hook may be left empty.
struct BuildFeedback {
    std::function<void(bool busy)> setBusy;              // hourglass and button bar
    std::function<void(const QString& text)> setStatus;  // the main status line
    std::function<void()> processEvents;
    std::function<void(const QString& text)> showMessage; // a plain message box
};

inline constexpr const char* kNothingToFax = "Fax has no contents or cover sheet";

struct BuildResult {
    std::filesystem::path file; // empty when there was nothing to render
    int pageCount = 0;
};

// Renders cover and body (each only when not empty) and joins the pages. When both are
// empty shows kNothingToFax and returns an empty result. On a failure the page files
// made so far are deleted and the exception propagates.
BuildResult buildFaxFile(QTextDocument& cover, QTextDocument& body, const std::filesystem::path& dir,
                         const BuildFeedback& feedback = {}, const richtext::PageSetup& page = {});

// The same for the current record of the sent table: RTFCOVER and RTFDOC are loaded
// into the two documents first.
BuildResult buildFaxFile(faxlog::TDbeTable& sent, QTextDocument& cover, QTextDocument& body,
                         const std::filesystem::path& dir, const BuildFeedback& feedback = {});

} // namespace workflow::render
