#include "faxengine/fax_log.h"

#include "faxengine/abstract_fax.h"

#include <fcntl.h>
#include <unistd.h>

namespace faxengine {

TVelkFaxLog::~TVelkFaxLog() {
    if (fax_)
        fax_->unbindLog(this);
}

void TVelkFaxLog::SetFax(TVelkCustomAbstractFax* fax) {
    if (fax_ == fax)
        return;
    TVelkCustomAbstractFax* old = fax_;
    fax_ = fax;
    if (old)
        old->unbindLog(this);
    if (fax && fax->FaxLog() != this)
        fax->SetFaxLog(this);
}

void TVelkFaxLog::WriteLogEntry(TFaxLogCode code) {
    if (faxHistoryName_.empty() || !fax_)
        return;
    std::string text = faxHistoryText(code, fax_->HistoryFacts(), faxHistoryDateTime());
    // O_APPEND so that two components sharing one history do not overwrite each other.
    int fd = ::open(faxHistoryName_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    std::size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
}

} // namespace faxengine
