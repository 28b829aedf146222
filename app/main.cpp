// parvane: the desktop fax program.
//   parvane [--data-dir DIR] [--minimized] [--smoke] [--fax-file FILE | --fax-inbox]
// --fax-file opens a new fax with the pages of FILE; --fax-inbox takes the faxes printed
// to the fax queue. With a copy already running, either is handed to that copy.
// --smoke starts on the offscreen platform, opens the main window, runs the event loop
// briefly (refusing any question on the way) and exits: 0 when start-up worked.
#include "faxlog_table.h"
#include "hint_control.h"
#include "main_screen.h"
#include "print_inbox.h"
#include "printed_fax.h"
#include "program_paths.h"
#include "settings/program_directory.h"
#include "settings/settings.h"
#include "single_instance.h"
#include "viewer_printing.h"
#include "workflow/spelling/spell_service.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <optional>

namespace {

using namespace std::chrono_literals;

struct Arguments {
    std::optional<std::filesystem::path> dataDir;
    bool smoke = false;
    bool minimized = false;
    bool help = false;
    std::optional<std::filesystem::path> faxFile;
    bool faxInbox = false;
    std::string error;
};

Arguments parseArguments(int argc, char** argv) {
    Arguments a;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--data-dir" && i + 1 < argc)
            a.dataDir = argv[++i];
        else if (arg.starts_with("--data-dir="))
            a.dataDir = std::string(arg.substr(std::strlen("--data-dir=")));
        else if (arg == "--fax-file" && i + 1 < argc)
            a.faxFile = argv[++i];
        else if (arg.starts_with("--fax-file="))
            a.faxFile = std::string(arg.substr(std::strlen("--fax-file=")));
        else if (arg == "--fax-inbox")
            a.faxInbox = true;
        else if (arg == "--smoke")
            a.smoke = true;
        else if (arg == "--minimized")
            a.minimized = true;
        else if (arg == "--help" || arg == "-h")
            a.help = true;
        // Anything else belongs to Qt (-platform, -style, ...).
    }
    return a;
}

// Smoke runs have nobody to answer: every dialog is refused and named on stderr.
void refuseDialogsFor(QApplication& app) {
    auto* timer = new QTimer(&app);
    QObject::connect(timer, &QTimer::timeout, [] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            QString text = modal->windowTitle();
            if (auto* box = qobject_cast<QMessageBox*>(modal))
                text += QStringLiteral(": ") + box->text();
            std::fprintf(stderr, "parvane: dialog refused: %s\n", qPrintable(text));
            if (auto* dialog = qobject_cast<QDialog*>(modal))
                dialog->reject();
            else
                modal->close();
        }
    });
    timer->start(50);
}

} // namespace

int main(int argc, char** argv) {
    const Arguments args = parseArguments(argc, argv);
    if (args.help) {
        std::printf("usage: parvane [--data-dir DIR] [--minimized] [--smoke] [--fax-file FILE | --fax-inbox]\n");
        return 0;
    }
    if (args.faxFile && !std::filesystem::is_regular_file(*args.faxFile)) {
        std::fprintf(stderr, "parvane: no such file: %s\n", args.faxFile->c_str());
        return 2;
    }
    if (args.smoke)
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Parvane"));
    QApplication::setApplicationDisplayName(QStringLiteral("Parvane"));
    QApplication::setStyle(new app::HintStyle(QApplication::style()->name()));

    std::filesystem::path programDir;
    try {
        programDir = settings::resolveProgramDirectory(args.dataDir);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "parvane: %s\n", e.what());
        return 1;
    }
    app::setProgramDirectory(programDir);
    spelling::setSpellingDataDirectory(programDir);

    // One copy per program directory: a second start hands over and leaves before any
    // window or table is touched.
    app::SingleInstance instance(programDir);
    if (!instance.acquire()) {
        bool handed = false;
        if (args.faxFile)
            handed = instance.handFaxFile(*args.faxFile, 3s);
        else if (args.faxInbox)
            handed = instance.handInboxCheck(3s);
        else
            handed = instance.activateFirst(3s);
        if (handed || !(args.faxFile || args.faxInbox))
            return 0;
        // A printed job nobody took stays in the inbox: the path unit starts us again.
        std::fprintf(stderr, "parvane: the running copy did not take the request\n");
        return 1;
    }
    instance.listen();

    app::HintControl hints;
    application.installEventFilter(&hints);
    if (args.smoke)
        refuseDialogsFor(application);

    app::LogDatabase database(programDir);
    auto opener = [&database](app::LogKind kind, const std::filesystem::path&) {
        return database.open(kind);
    };

    app::TMainScreen::Options options;
    options.startMinimized = args.minimized;
    options.hints = &hints;
    options.rescue = &database;
    app::TMainScreen window(programDir, opener, options);
    app::installViewerPrinting(window, programDir);
    QObject::connect(&instance, &app::SingleInstance::activationRequested, &window,
                     [&window] { app::bringToFront(&window); });
    app::PrintInbox printInbox(app::printInboxDirectory(), programDir, [&window](const std::filesystem::path& file) {
        return window.newFaxFromPrintedFile(file) ? app::PrintInbox::Outcome::Accepted
                                                  : app::PrintInbox::Outcome::Cancelled;
    });
    app::connectPrintInbox(printInbox, window, instance);

    if (window.startupFailed()) {
        // The window closes itself through its close message; the tables stay as they were.
        QCoreApplication::processEvents();
        return 1;
    }
    // No modem named for the port: the virtual fax line stands in, for as long as the window.
    {
        app::FaxLine line = app::FaxLine::forSettings(settings::current());
        std::fprintf(stderr, "parvane: %s\n", line.describe().c_str());
        window.setFaxLine(std::move(line));
    }
    if (args.smoke)
        QTimer::singleShot(1500ms, &window, [&window] { window.close(); });
    QTimer::singleShot(0, &window, &app::TMainScreen::FormActivate);
    // After the window's first activation (and whatever it asks) has run.
    QTimer::singleShot(0, &printInbox, [&printInbox, &args] {
        if (!args.smoke)
            printInbox.start();
        if (args.faxFile)
            printInbox.addFile(*args.faxFile);
    });
    return QApplication::exec();
}
