#include "workflow/viewer/fax_viewer_window.h"

#include "base/ini_file.h"
#include "faximage/fax_errors.h"
#include "workflow/viewer/pre_print_form.h"
#include "workflow/viewer/zoom_levels.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QShowEvent>
#include <QSpinBox>
#include <QVBoxLayout>

namespace workflow::viewer {

namespace {

constexpr const char* kPrintingSection = "Printing";
constexpr const char* kSettingsFile = "PVN.INI";

QString pageFilter(ExportFormat f) {
    switch (f) {
    case ExportFormat::Bmp:
        return QStringLiteral("BMP File (*.BMP *.bmp)");
    case ExportFormat::Pcx:
        return QStringLiteral("PCX File (*.PCX *.pcx)");
    case ExportFormat::Dcx:
        return QStringLiteral("DCX File (*.DCX *.dcx)");
    case ExportFormat::Pdf:
        return QStringLiteral("PDF File (*.pdf *.PDF)");
    case ExportFormat::Tiff:
        return QStringLiteral("TIFF File (*.tif *.tiff *.TIF)");
    }
    return {};
}

QString extensionOf(ExportFormat f) {
    return f == ExportFormat::Tiff ? QStringLiteral("tif") : QString::fromLatin1(to_string(f)).toLower();
}

// Asks which pages go into a file that holds several; false when cancelled.
bool askExportRange(QWidget* parent, int pages, int& first, int& last) {
    QDialog d(parent);
    d.setWindowTitle(QStringLiteral("Export Pages"));
    auto* from = new QSpinBox(&d);
    auto* to = new QSpinBox(&d);
    from->setObjectName(QStringLiteral("FromPage"));
    to->setObjectName(QStringLiteral("ToPage"));
    from->setRange(1, pages);
    to->setRange(1, pages);
    from->setValue(1);
    to->setValue(pages);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("From Page:"), from);
    form->addRow(QStringLiteral("To Page:"), to);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &d);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &d, [&] {
        if (to->value() < from->value())
            QApplication::beep();
        else
            d.accept();
    });
    QObject::connect(buttons, &QDialogButtonBox::rejected, &d, &QDialog::reject);
    auto* layout = new QVBoxLayout(&d);
    layout->addLayout(form);
    layout->addWidget(buttons);
    if (d.exec() != QDialog::Accepted)
        return false;
    first = from->value();
    last = to->value();
    return true;
}

} // namespace

TFaxViewer::TFaxViewer(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Fax Viewer "));
    setObjectName(QStringLiteral("FaxViewer"));
    resize(800, 640);

    FaxViewer = new TVelkFaxViewer(this);
    // Standard-resolution rows are shown twice, so every page keeps its aspect and
    // standard and fine pages show at the same size.
    FaxViewer->SetAutoScaleMode(faximage::TAutoScaleMode::asDoubleHeight);
    FaxViewer->SetBusyCursor(Qt::WaitCursor);
    FaxViewer->OnPageChange = [this](TVelkCustomFaxViewer&) { refreshStatus(); };
    FaxViewer->OnViewerError = [this](TVelkCustomFaxViewer&, int code) { showViewerError(code); };
    FaxViewer->OnDropFile = [this](TVelkCustomFaxViewer&, const QString& file) {
        faxFile_ = file.toStdString();
        rangeSet_ = false;
        refreshStatus();
    };

    auto* buttons = new QHBoxLayout;
    FirstPageButton = new QPushButton(QStringLiteral("First page"), this);
    PrevPageButton = new QPushButton(QStringLiteral("Previous page"), this);
    NextPageButton = new QPushButton(QStringLiteral("Next page"), this);
    LastPageButton = new QPushButton(QStringLiteral("Last page"), this);
    for (QPushButton* b : {FirstPageButton, PrevPageButton, NextPageButton, LastPageButton}) {
        b->setFocusPolicy(Qt::NoFocus);
        b->setVisible(false);
        buttons->addWidget(b);
    }
    buttons->addStretch(1);
    connect(FirstPageButton, &QPushButton::clicked, this, [this] { FaxViewer->FirstPage(); });
    connect(PrevPageButton, &QPushButton::clicked, this, [this] { FaxViewer->PrevPage(); });
    connect(NextPageButton, &QPushButton::clicked, this, [this] { FaxViewer->NextPage(); });
    connect(LastPageButton, &QPushButton::clicked, this, [this] { FaxViewer->LastPage(); });

    status_ = new QLabel(QStringLiteral("Loading..."), this);
    status_->setObjectName(QStringLiteral("StatusLine"));
    status_->setFrameShape(QFrame::StyledPanel);

    chooseFile = [](QWidget* parent, const QString& caption, const QString& name, const QString& filters,
                    QString* selected) {
        return QFileDialog::getSaveFileName(parent, caption, name, filters, selected);
    };

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    buildMenus();
    layout->addLayout(buttons);
    layout->addWidget(FaxViewer, 1);
    layout->addWidget(status_);
    FaxViewer->setFocus();
}

TFaxViewer::~TFaxViewer() = default;

void TFaxViewer::buildMenus() {
    auto* bar = new QMenuBar(this);
    bar->setObjectName(QStringLiteral("ViewerMenu"));
    layout()->setMenuBar(bar);
    QMenu* file = bar->addMenu(QStringLiteral("&File"));
    file->addAction(QStringLiteral("Export Page as BMP"), this, [this] { ExportPageClick(ExportFormat::Bmp); });
    file->addAction(QStringLiteral("Export Page as PCX"), this, [this] { ExportPageClick(ExportFormat::Pcx); });
    file->addAction(QStringLiteral("Export Page as DCX"), this, [this] { ExportPageClick(ExportFormat::Dcx); });
    file->addAction(QStringLiteral("&Export..."), this, &TFaxViewer::ExportClick);
    file->addSeparator();
    PrintItem = file->addAction(QStringLiteral("&Print..."), this, &TFaxViewer::PrintClick);
    PrintCurrentPageItem =
        file->addAction(QStringLiteral("Print &current page..."), this, &TFaxViewer::PrintCurrentPageClick);
    PrinterSetupItem = file->addAction(QStringLiteral("Printer &setup..."), this, &TFaxViewer::PrinterSetupClick);
    file->addSeparator();
    file->addAction(QStringLiteral("C&lose"), this, &QDialog::close);

    QMenu* edit = bar->addMenu(QStringLiteral("&Edit"));
    edit->addAction(QStringLiteral("Select &all"), QKeySequence::SelectAll, this, [this] { FaxViewer->viewer()->selectAll(); });
    edit->addAction(QStringLiteral("&Copy"), QKeySequence::Copy, this, [this] {
        if (int rc = FaxViewer->viewer()->copy(); rc != 0)
            showViewerError(rc);
    });

    viewMenu_ = bar->addMenu(QStringLiteral("&View"));
    for (std::size_t i = 0; i < kZoomLevels.size(); ++i) {
        const int level = kZoomLevels[i];
        ZoomItems[i] = viewMenu_->addAction(QStringLiteral("%1%").arg(level), this, [this, level] { setZoom(level); });
        ZoomItems[i]->setCheckable(true);
    }
    viewMenu_->addSeparator();
    viewMenu_->addAction(QStringLiteral("Zoom in"), QKeySequence::ZoomIn, this, &TFaxViewer::ZoomInClick);
    viewMenu_->addAction(QStringLiteral("Zoom out"), QKeySequence::ZoomOut, this, &TFaxViewer::ZoomOutClick);

    QMenu* rotate = bar->addMenu(QStringLiteral("&Rotate"));
    const char* names[] = {"No rotation", "Rotate 90 degrees", "Rotate 180 degrees", "Rotate 270 degrees"};
    for (int r = 0; r < 4; ++r) {
        RotationItems[static_cast<std::size_t>(r)] =
            rotate->addAction(QString::fromLatin1(names[r]), this, [this, r] { setRotation(r); });
        RotationItems[static_cast<std::size_t>(r)]->setCheckable(true);
    }
    RotationItems[0]->setChecked(true);

    QMenu* help = bar->addMenu(QStringLiteral("&Help"));
    help->addAction(QStringLiteral("&Help"), this, &TFaxViewer::HelpClick);
}

void TFaxViewer::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!firstShow_)
        return;
    firstShow_ = false;
    const bool printers = printerInstalled ? printerInstalled() : true;
    PrintItem->setEnabled(printers);
    PrintCurrentPageItem->setEnabled(printers);
    PrinterSetupItem->setEnabled(printers);
    loadFax();
}

void TFaxViewer::loadFax() {
    layout()->activate();
    FaxViewer->BeginUpdate();
    FaxViewer->SetScaling(false);
    for (auto set : {&TVelkFaxViewer::SetHorizMult, &TVelkFaxViewer::SetHorizDiv, &TVelkFaxViewer::SetVertMult,
                     &TVelkFaxViewer::SetVertDiv})
        (FaxViewer->*set)(1);
    bool loaded = true;
    QString why;
    try {
        FaxViewer->SetFileName(QString::fromStdString(faxFile_.string()));
    } catch (const std::exception& e) {
        loaded = false;
        why = QString::fromStdString(e.what());
    }
    FaxViewer->EndUpdate();
    rangeSet_ = false;
    if (!loaded || !FaxViewer->viewer()->hasFax()) {
        try {
            FaxViewer->SetFileName(QString());
        } catch (const std::exception&) {
        }
        refreshStatus();
        message(QString::fromLatin1(kErrorOpeningFaxFile), why);
        return;
    }
    setZoom(firstZoom(FaxViewer->PageWidth(), FaxViewer->viewer()->viewport()->width()));
    refreshStatus();
}

void TFaxViewer::setZoom(int percent) {
    zoom_ = percent;
    if (percent == 100) {
        FaxViewer->SetScaling(false);
    } else {
        FaxViewer->BeginUpdate();
        FaxViewer->SetScaling(true);
        FaxViewer->SetHorizMult(percent);
        FaxViewer->SetVertMult(percent);
        FaxViewer->SetHorizDiv(100);
        FaxViewer->SetVertDiv(100);
        FaxViewer->EndUpdate();
    }
    for (std::size_t i = 0; i < kZoomLevels.size(); ++i)
        ZoomItems[i]->setChecked(kZoomLevels[i] == percent);
}

void TFaxViewer::ZoomInClick() {
    const int next = zoomIn(zoom_);
    if (next == zoom_)
        QApplication::beep();
    else
        setZoom(next);
}

void TFaxViewer::ZoomOutClick() {
    const int next = zoomOut(zoom_);
    if (next == zoom_)
        QApplication::beep();
    else
        setZoom(next);
}

void TFaxViewer::setRotation(int rotation) {
    if (int rc = FaxViewer->viewer()->setRotation(rotation); rc != 0)
        return; // reported through the viewer's error notice
    for (int r = 0; r < 4; ++r)
        RotationItems[static_cast<std::size_t>(r)]->setChecked(r == rotation);
}

QString TFaxViewer::statusText() const { return status_->text(); }

void TFaxViewer::refreshStatus() {
    const int pages = FaxViewer->NumPages();
    const bool fax = FaxViewer->viewer()->hasFax();
    if (!fax) {
        status_->setText(QString::fromLatin1(kNoFileLoaded));
    } else {
        QString text = QStringLiteral("Page %1 of %2").arg(FaxViewer->ActivePage()).arg(pages);
        if (!title_.isEmpty())
            text = title_ + QStringLiteral(": ") + text;
        status_->setText(text);
    }
    for (QPushButton* b : {FirstPageButton, PrevPageButton, NextPageButton, LastPageButton})
        b->setVisible(fax && pages > 1);
}

void TFaxViewer::showViewerError(int code) {
    message(QStringLiteral("Viewer error %1").arg(code), QString::fromStdString(faximage::errorText(code)));
}

void TFaxViewer::message(const QString& text, const QString& detail) {
    QMessageBox box(QMessageBox::Information, QStringLiteral("Information"), text, QMessageBox::Ok, this);
    if (!detail.isEmpty())
        box.setInformativeText(detail);
    box.exec();
}

// --- export ---

ExportResult TFaxViewer::exportTo(const std::filesystem::path& out, ExportFormat format, int first, int last) {
    ExportRequest r;
    r.fax = faxFile_;
    r.out = out;
    r.format = format;
    r.firstPage = first;
    r.lastPage = last;
    if (FaxViewer->WhitespaceCompression()) {
        r.whitespaceFrom = FaxViewer->WhitespaceFrom();
        r.whitespaceTo = FaxViewer->WhitespaceTo();
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    ExportResult res = exportFax(r);
    QApplication::restoreOverrideCursor();
    return res;
}

void TFaxViewer::ExportPageClick(ExportFormat format) {
    if (!FaxViewer->viewer()->hasFax())
        return;
    const QString ext = QString::fromLatin1(to_string(format));
    QString selected;
    const QString name = chooseFile(this, QStringLiteral("Export Page as %1").arg(ext), QStringLiteral("*.%1").arg(ext),
                                    pageFilter(format), &selected);
    if (name.isEmpty())
        return;
    std::filesystem::path out = name.toStdString();
    if (!out.has_extension())
        out += "." + ext.toStdString();
    const int page = FaxViewer->ActivePage();
    const ExportResult res = exportTo(out, format, page, page);
    if (!res.ok())
        message(QStringLiteral("Export failed (error %1)").arg(res.code), QString::fromStdString(res.message));
}

void TFaxViewer::ExportClick() {
    if (!FaxViewer->viewer()->hasFax())
        return;
    const ExportFormat order[] = {ExportFormat::Pdf, ExportFormat::Tiff, ExportFormat::Dcx, ExportFormat::Bmp,
                                  ExportFormat::Pcx};
    QStringList filters;
    for (ExportFormat f : order)
        filters << pageFilter(f);
    QString selected = filters.first();
    const QString base = QString::fromStdString(faxFile_.stem().string());
    const QString name = chooseFile(this, QStringLiteral("Export"), base + QStringLiteral(".pdf"),
                                    filters.join(QStringLiteral(";;")), &selected);
    if (name.isEmpty())
        return;
    std::filesystem::path out = name.toStdString();
    std::optional<ExportFormat> format = exportFormatFor(out);
    if (!format) {
        // No known extension: the type of the filter chosen.
        format = ExportFormat::Pdf;
        for (ExportFormat f : order)
            if (pageFilter(f) == selected)
                format = f;
        out += "." + extensionOf(*format).toStdString();
    }
    int first = FaxViewer->ActivePage();
    int last = first;
    if (holdsManyPages(*format)) {
        first = 1;
        last = FaxViewer->NumPages();
        if (last > 1 && !askExportRange(this, last, first, last))
            return;
    }
    const ExportResult res = exportTo(out, *format, first, last);
    if (!res.ok())
        message(QStringLiteral("Export failed (error %1)").arg(res.code), QString::fromStdString(res.message));
}

// --- printing ---

void TFaxViewer::readPrintPreferences() {
    if (programDir_.empty())
        return;
    const auto ini = settings::IniFile::load(programDir_ / kSettingsFile);
    prefs_.multiPage = ini.readBool(kPrintingSection, "MultiPage", false);
    prefs_.header = ini.readBool(kPrintingSection, "Header", true);
    prefs_.footer = ini.readBool(kPrintingSection, "Footer", true);
}

void TFaxViewer::writePrintPreferences() const {
    if (programDir_.empty())
        return;
    auto ini = settings::IniFile::load(programDir_ / kSettingsFile);
    ini.writeBool(kPrintingSection, "MultiPage", prefs_.multiPage);
    ini.writeBool(kPrintingSection, "Header", prefs_.header);
    ini.writeBool(kPrintingSection, "Footer", prefs_.footer);
    try {
        ini.save(programDir_ / kSettingsFile);
    } catch (const std::exception&) {
        // The preferences are a convenience: printing goes on without them.
    }
}

void TFaxViewer::runPrintForm(bool currentPageOnly) {
    if (!FaxViewer->viewer()->hasFax())
        return;
    if (!print) {
        message(QString::fromLatin1(kPrintingNotAvailable));
        return;
    }
    const int pages = FaxViewer->NumPages();
    if (!rangeSet_) {
        printFrom_ = 1;
        printTo_ = pages;
        rangeSet_ = true;
    }
    readPrintPreferences();
    TPrePrintForm form(this);
    form.FromPage->setMaximum(std::max(pages, 1));
    form.ToPage->setMaximum(std::max(pages, 1));
    if (currentPageOnly) {
        form.FromPage->setValue(FaxViewer->ActivePage());
        form.ToPage->setValue(FaxViewer->ActivePage());
        form.FromPage->setEnabled(false);
        form.ToPage->setEnabled(false);
        form.MultiPage->setChecked(false);
        form.MultiPage->setEnabled(false);
    } else {
        form.FromPage->setValue(printFrom_);
        form.ToPage->setValue(printTo_);
        form.MultiPage->setChecked(prefs_.multiPage);
    }
    form.PrintHeader->setChecked(prefs_.header);
    form.PrintFooter->setChecked(prefs_.footer);
    if (form.exec() != QDialog::Accepted)
        return;
    prefs_.header = form.PrintHeader->isChecked();
    prefs_.footer = form.PrintFooter->isChecked();
    if (!currentPageOnly) {
        prefs_.multiPage = form.MultiPage->isChecked();
        printFrom_ = form.FromPage->value();
        printTo_ = form.ToPage->value();
    }
    writePrintPreferences();
    lastPrint_ = prefs_;
    lastPrint_.firstPage = form.FromPage->value();
    lastPrint_.lastPage = form.ToPage->value();
    if (currentPageOnly)
        lastPrint_.multiPage = false;
    print(faxFile_, lastPrint_.firstPage, lastPrint_.lastPage, lastPrint_.header ? headerText_ : QString());
    if (currentPageOnly) {
        // Afterwards the range is the whole fax again.
        printFrom_ = 1;
        printTo_ = pages;
    }
}

void TFaxViewer::PrintClick() { runPrintForm(false); }

void TFaxViewer::PrintCurrentPageClick() { runPrintForm(true); }

void TFaxViewer::PrinterSetupClick() {
    if (printerSetup)
        printerSetup(this);
    else
        message(QString::fromLatin1(kPrintingNotAvailable));
}

void TFaxViewer::HelpClick() {
    if (showHelp)
        showHelp(kViewerHelpContext);
}

} // namespace workflow::viewer
