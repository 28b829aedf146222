// The engine components queue their notices (status, log, finish) from the dispatch thread;
// the windows handle them on the Qt thread.
#pragma once

#include <QMetaObject>
#include <QObject>

#include <memory>

namespace workflow::send {

// Each notice queued schedules a pump of the component's notices on `context`'s thread,
// for as long as `holder` still holds that same component (a new one per call may replace
// it). `holder` must outlive `context`'s queued calls, as a member of it does.
template <class Fax>
void pumpNoticesOnQtThread(QObject* context, std::unique_ptr<Fax>& holder) {
    Fax* fax = holder.get();
    holder->Notices().SetWakeup([context, &holder, fax] {
        QMetaObject::invokeMethod(
            context,
            [&holder, fax] {
                if (holder.get() == fax)
                    fax->Notices().pump();
            },
            Qt::QueuedConnection);
    });
}

} // namespace workflow::send
