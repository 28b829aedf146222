// TFaxViewer: the program's viewer window over one fax file, shown modally by the main
// window: page buttons, zoom and rotation menus, export, and the print commands (the
// printing itself is the main window's hook).
#pragma once

#include "workflow/viewer/fax_export.h"
#include "workflow/viewer/fax_viewer_component.h"

#include <QDialog>

#include <array>
#include <filesystem>
#include <functional>

class QAction;
class QLabel;
class QMenu;
class QPushButton;

namespace workflow::viewer {

inline constexpr int kViewerHelpContext = 1021;
inline constexpr const char* kNoFileLoaded = "No file loaded";
inline constexpr const char* kErrorOpeningFaxFile = "Error opening fax file";
inline constexpr const char* kPrintingNotAvailable = "Printing is not available.";

// What the print form was answered with, for the print hook.
struct PrintChoice {
    int firstPage = 1;
    int lastPage = 1;
    bool header = true;
    bool footer = true;
    bool multiPage = false; // four fax pages to a sheet
};

class TFaxViewer : public QDialog {
    Q_OBJECT
public:
    // Prints pages first..last of the file; `header` is the header text to print, empty
    // when "Print Header" was not checked. lastPrintChoice() has the other options.
    using PrintHook = std::function<void(const std::filesystem::path& file, int first, int last,
                                         const QString& header)>;
    // A save-file dialog: the chosen name, empty when cancelled; *selectedFilter gets the
    // filter chosen.
    using FileChooser = std::function<QString(QWidget* parent, const QString& caption, const QString& name,
                                              const QString& filters, QString* selectedFilter)>;

    explicit TFaxViewer(QWidget* parent = nullptr);
    ~TFaxViewer() override;

    // Set by the opener before showing.
    void setFaxFile(const std::filesystem::path& file) { faxFile_ = file; }
    const std::filesystem::path& faxFile() const { return faxFile_; }
    void setHeaderText(const QString& text) { headerText_ = text; }
    const QString& headerText() const { return headerText_; }
    void setTitle(const QString& title) { title_ = title; }
    // Where PVN.INI keeps the print preferences ([Printing]); none: kept for this window.
    void setProgramDir(const std::filesystem::path& dir) { programDir_ = dir; }

    // --- hooks the main window sets ---
    PrintHook print;                              // until set: printing is not available
    std::function<void(QWidget* parent)> printerSetup;
    std::function<bool()> printerInstalled;       // false disables Print and Printer setup
    std::function<void(int context)> showHelp;
    FileChooser chooseFile;                       // default: the desktop's save dialog

    // Loads the fax and picks the first zoom; done on first showing.
    void loadFax();
    int zoom() const { return zoom_; }
    void setZoom(int percent);
    void ZoomInClick();
    void ZoomOutClick();
    void setRotation(int rotation);

    // Export of the current page (BMP, PCX, DCX) as the three page commands do, and of a
    // page range for the formats that hold several pages.
    ExportResult exportTo(const std::filesystem::path& out, ExportFormat format, int first, int last);
    void ExportPageClick(ExportFormat format);
    void ExportClick();

    void PrintClick();
    void PrintCurrentPageClick();
    void PrinterSetupClick();
    void HelpClick();

    const PrintChoice& lastPrintChoice() const { return lastPrint_; }
    QString statusText() const;
    TVelkFaxViewer* FaxViewer = nullptr;
    QPushButton* FirstPageButton = nullptr;
    QPushButton* PrevPageButton = nullptr;
    QPushButton* NextPageButton = nullptr;
    QPushButton* LastPageButton = nullptr;
    std::array<QAction*, 6> ZoomItems{};
    std::array<QAction*, 4> RotationItems{};
    QAction* PrintItem = nullptr;
    QAction* PrintCurrentPageItem = nullptr;
    QAction* PrinterSetupItem = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void buildMenus();
    void refreshStatus();
    void showViewerError(int code);
    void runPrintForm(bool currentPageOnly);
    void readPrintPreferences();
    void writePrintPreferences() const;
    void message(const QString& text, const QString& detail = {});

    std::filesystem::path faxFile_;
    std::filesystem::path programDir_;
    QString headerText_;
    QString title_;
    bool firstShow_ = true;
    int zoom_ = 100;
    QLabel* status_ = nullptr;
    QMenu* viewMenu_ = nullptr;

    bool rangeSet_ = false;
    int printFrom_ = 1, printTo_ = 1;
    PrintChoice prefs_; // [Printing] MultiPage, Header, Footer
    PrintChoice lastPrint_;
};

} // namespace workflow::viewer
