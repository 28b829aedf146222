#include "faxengine/fax_status_display.h"

#include "faxengine/apd_abstract_fax.h"

namespace faxengine {

TApdAbstractFaxStatus::~TApdAbstractFaxStatus() {
    if (fax_)
        fax_->unbindDisplay(this);
}

void TApdAbstractFaxStatus::SetFax(TApdCustomAbstractFax* fax) {
    if (fax_ == fax)
        return;
    TApdCustomAbstractFax* old = fax_;
    fax_ = fax;
    if (old)
        old->unbindDisplay(this);
    if (fax && fax->StatusDisplay() != this)
        fax->SetStatusDisplay(this);
}

} // namespace faxengine
