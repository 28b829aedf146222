#include "faxengine/receive_fax.h"

#include "faxengine/fax_files.h"

namespace faxengine {

TVelkCustomReceiveFax::TVelkCustomReceiveFax(FaxMachine machine)
    : TVelkCustomAbstractFax(FaxRole::Receive, std::move(machine)) {}

void TVelkCustomReceiveFax::SetDestinationDir(std::string dir) {
    Session().destinationDir = withTrailingSeparator(std::move(dir));
}

void TVelkCustomReceiveFax::StartReceiving() {
    CheckPort();
    StartSession();
}

void TVelkCustomReceiveFax::FaxNextOrAcceptNotice(FaxNoticeAnswer& answer) {
    answer.accept = true;
    if (OnFaxAccept)
        OnFaxAccept(*this, answer.accept);
}

void TVelkCustomReceiveFax::FaxNameNotice(FaxNoticeAnswer& answer) {
    if (OnFaxName)
        OnFaxName(*this, answer.fileName);
    else
        answer.fileName = receivedFaxName(faxNamingMode_, DestinationDir(), FaxFileExt());
    faxFile_ = answer.fileName;
}

} // namespace faxengine
