#include "workflow/send/fax_status_window.h"

#include "faxengine/abstract_fax.h"
#include "faxengine/fax_status.h"
#include "faxengine/send_fax.h"
#include "workflow/send/call_journal.h"
#include "workflow/send/velk_meter.h"

#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>
#include <cstdio>
#include <filesystem>

namespace workflow::send {

using faxengine::FaxStatus;

namespace {

// Meter placement inside the "Page progress:" panel.
constexpr QRect kMeterRect{99, 7, 406, 20};
constexpr int kMeterStep = 10;

bool is(int code, FaxStatus s) { return code == static_cast<int>(s); }

QString q(const std::string& s) { return QString::fromStdString(s); }

} // namespace

std::string faxTimeText(long long seconds) {
    if (seconds < 0)
        seconds = 0;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%6s", (std::to_string(seconds / 60) + ":" + (seconds % 60 < 10 ? "0" : "") +
                                           std::to_string(seconds % 60))
                                              .c_str());
    return buf;
}

std::string shortFileName(const std::string& path) {
    std::string name = std::filesystem::path(path).filename().string();
    if (name.size() > 20)
        name = name.substr(0, 20) + "...";
    return name;
}

TStandardFaxDisplay::TStandardFaxDisplay(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TStandardFaxDisplay"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    auto* top = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(2);
    int row = 0;
    addRow(grid, row++, "Phone number:", "fsPhoneNumber", fsPhoneNumber);
    addRow(grid, row++, "Fax file name:", "fsFaxFileName", fsFaxFileName, true);
    addRow(grid, row++, "Cover file name:", "fsCoverFileName", fsCoverFileName, true);
    addRow(grid, row++, "Total pages:", "fsTotalPages", fsTotalPages);
    addRow(grid, row++, "Dial attempt:", "fsDialAttempt", fsDialAttempt);
    addRow(grid, row++, "Remote ID:", "fsRemoteID", fsRemoteID);
    addRow(grid, row++, "Connect BPS:", "fsConnectBPS", fsConnectBPS);
    addRow(grid, row++, "Resolution:", "fsResolution", fsResolution);
    addRow(grid, row++, "Width:", "fsWidth", fsWidth);
    addRow(grid, row++, "Error control:", "fsErrorControl", fsErrorControl);
    addRow(grid, row++, "Current page:", "fsCurrentPage", fsCurrentPage);
    addRow(grid, row++, "Page length:", "fsPageLength", fsPageLength);
    addRow(grid, row++, "Bytes transferred:", "fsBytesTransferred", fsBytesTransferred);
    addRow(grid, row++, "Elapsed time:", "fsElapsedTime", fsElapsedTime);
    addRow(grid, row++, "Status:", "fsStatusMsg", fsStatusMsg);
    fsStatusMsg->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("Initializing modem for fax processing")));
    top->addLayout(grid);

    // The meter sits at a fixed place in its panel, to the right of the caption.
    auto* panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("PageProgressPanel"));
    panel->setFixedSize(kMeterRect.right() + 8, kMeterRect.bottom() + 8);
    fsLabel19 = new QLabel(QStringLiteral("Page progress:"), panel);
    fsLabel19->setObjectName(QStringLiteral("fsLabel19"));
    fsLabel19->move(0, kMeterRect.top() + (kMeterRect.height() - fsLabel19->sizeHint().height()) / 2);
    meter_ = new TVelkMeter(panel);
    meter_->setObjectName(QStringLiteral("Meter"));
    meter_->setGeometry(kMeterRect);
    meter_->SetPosition(0);
    meter_->SetStep(kMeterStep);
    // A caption wider than the room before the meter (large fonts) pushes the meter right.
    const int captionRoom = fsLabel19->sizeHint().width() + 6;
    if (captionRoom > kMeterRect.left()) {
        meter_->move(captionRoom, kMeterRect.top());
        panel->setFixedWidth(captionRoom + kMeterRect.width() + 8);
    }
    top->addWidget(panel);

    auto* buttons = new QHBoxLayout;
    DetailsButton = new QToolButton(this);
    DetailsButton->setObjectName(QStringLiteral("DetailsButton"));
    DetailsButton->setText(QStringLiteral("Call steps"));
    DetailsButton->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    DetailsButton->setArrowType(Qt::RightArrow);
    DetailsButton->setCheckable(true);
    DetailsButton->setAutoRaise(true);
    buttons->addWidget(DetailsButton);
    buttons->addStretch();
    fsCancel = new QPushButton(QStringLiteral("Cancel"), this);
    fsCancel->setObjectName(QStringLiteral("fsCancel"));
    buttons->addWidget(fsCancel);
    top->addLayout(buttons);

    StepsList = new QPlainTextEdit(this);
    StepsList->setObjectName(QStringLiteral("StepsList"));
    StepsList->setReadOnly(true);
    StepsList->setLineWrapMode(QPlainTextEdit::NoWrap);
    StepsList->setMinimumHeight(fontMetrics().lineSpacing() * 8);
    StepsList->hide();
    top->addWidget(StepsList);
    top->setSizeConstraint(QLayout::SetFixedSize);

    connect(DetailsButton, &QToolButton::toggled, this, [this](bool open) {
        DetailsButton->setArrowType(open ? Qt::DownArrow : Qt::RightArrow);
        StepsList->setVisible(open);
    });
    connect(fsCancel, &QPushButton::clicked, this, [this] {
        if (fax_)
            fax_->AbortFax();
    });
}

void TStandardFaxDisplay::addRow(QGridLayout* grid, int row, const char* caption, const char* name, QLabel*& label,
                                 bool hidden) {
    auto* c = new QLabel(QString::fromLatin1(caption), this);
    label = new QLabel(this);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    grid->addWidget(c, row, 0, Qt::AlignRight);
    grid->addWidget(label, row, 1);
    if (hidden) {
        c->hide();
        label->hide();
    }
}

QString TStandardFaxDisplay::value(const char* labelName) const {
    auto* l = findChild<QLabel*>(QString::fromLatin1(labelName));
    return l ? l->text() : QString();
}

void TStandardFaxDisplay::updateValues(Clock::time_point now) {
    if (!fax_)
        return;
    const auto& f = *fax_;
    const int code = f.FaxProgress();
    // Notices come once a second, so the brief connection statuses may never be seen: the
    // page statuses start the timer too, as they only come on a connected call.
    if (!connectedAt_ && (is(code, FaxStatus::GotRemoteId) || is(code, FaxStatus::GettingParams) ||
                          is(code, FaxStatus::SendingPage) || is(code, FaxStatus::SendingEop) ||
                          is(code, FaxStatus::PageError) || is(code, FaxStatus::PageAccepted)))
        connectedAt_ = now;
    if (is(code, FaxStatus::Finished) || is(code, FaxStatus::UserAbort) || is(code, FaxStatus::GotFhng))
        connectedAt_.reset();

    const auto* sender = dynamic_cast<const faxengine::TVelkCustomSendFax*>(fax_);
    const bool busyWait = is(code, FaxStatus::BusyWait);
    if (!redialFrom_ && busyWait) {
        redialFrom_ = now;
        redialSeconds_ = sender ? sender->DialRetryWait() : 0;
    } else if (redialFrom_ && !busyWait) {
        redialFrom_.reset();
    }

    if (sender) {
        fsPhoneNumber->setText(q(sender->PhoneNumber()));
        fsFaxFileName->setText(q(shortFileName(sender->FaxFile())));
        fsCoverFileName->setText(q(shortFileName(sender->CoverFile())));
        fsDialAttempt->setText(QString::number(sender->DialAttempt()));
    } else {
        fsPhoneNumber->clear();
        fsFaxFileName->setText(q(shortFileName(f.Progress().faxFile)));
        fsCoverFileName->clear();
        fsDialAttempt->setText(QStringLiteral("1"));
    }
    fsTotalPages->setText(QString::number(f.TotalPages()));
    // Station ids come right-aligned in 20 characters.
    fsRemoteID->setText(q(f.RemoteID()).trimmed());
    fsConnectBPS->setText(QString::number(f.SessionBPS()));
    fsResolution->setText(f.SessionResolution() ? QStringLiteral("high") : QStringLiteral("standard"));
    fsWidth->setText(f.SessionWidth() ? QStringLiteral("2048") : QStringLiteral("1728"));
    fsErrorControl->setText(f.SessionECM() ? QStringLiteral("on") : QStringLiteral("off"));
    fsCurrentPage->setText(f.CurrentPage() == 0 ? QStringLiteral("<cover page>") : QString::number(f.CurrentPage()));
    fsPageLength->setText(QString::number(f.PageLength()));
    fsBytesTransferred->setText(QString::number(f.BytesTransferred()));
    using std::chrono::duration_cast;
    using std::chrono::seconds;
    fsElapsedTime->setText(connectedAt_ ? q(faxTimeText(duration_cast<seconds>(now - *connectedAt_).count()))
                                        : QStringLiteral("00:00"));
    std::string status(faxengine::faxStatusText(code));
    if (busyWait && redialFrom_)
        status += faxTimeText(redialSeconds_ - duration_cast<seconds>(now - *redialFrom_).count());
    fsStatusMsg->setText(q(status));

    if (!sender) {
        meter_->hide();
        fsLabel19->setText(QStringLiteral("Page progress: N/A"));
        fsLabel19->adjustSize();
    } else {
        meter_->SetMin(0);
        meter_->SetMax(100);
        const long long length = f.PageLength();
        meter_->SetPosition(length == 0 ? 0
                                        : static_cast<int>(std::lround(double(f.BytesTransferred()) / double(length) *
                                                                       100.0)));
    }
}

void TStandardFaxDisplay::refreshJournal() {
    if (!journal_)
        return;
    QStringList lines;
    for (const auto& l : journal_->lines())
        lines << q(l);
    StepsList->setPlainText(lines.join(QLatin1Char('\n')));
    StepsList->moveCursor(QTextCursor::End);
}

TVelkFaxStatus::~TVelkFaxStatus() { delete display_; }

void TVelkFaxStatus::setJournal(const CallJournal* journal) {
    journal_ = journal;
    if (display_)
        display_->setJournal(journal);
}

void TVelkFaxStatus::JournalChanged() {
    if (display_)
        display_->refreshJournal();
}

void TVelkFaxStatus::UpdateDisplay(bool first, bool last) {
    if (first) {
        if (!display_) {
            display_ = new TStandardFaxDisplay(owner_);
            display_->setWindowTitle(q(Caption()));
            display_->setJournal(journal_);
        }
        display_->setFax(Fax());
        display_->updateValues();
        display_->refreshJournal();
        display_->adjustSize();
        // Centred on the screen, as a progress window of its own.
        if (QScreen* screen = owner_ ? owner_->screen() : QGuiApplication::primaryScreen()) {
            QRect r = display_->frameGeometry();
            r.moveCenter(screen->availableGeometry().center());
            display_->move(r.topLeft());
        }
        display_->show();
        display_->raise();
        SetVisible(true);
    }
    if (!display_)
        return;
    if (last) {
        display_->hide();
        SetVisible(false);
        return;
    }
    display_->updateValues();
    display_->refreshJournal();
}

} // namespace workflow::send
