#include "help_window.h"

#include <QFile>
#include <QHBoxLayout>
#include <QPointer>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

// The pages live in a resource file of the static library; it has to be pulled in by hand.
static void initHelpResources() { Q_INIT_RESOURCE(help); }

namespace app {

HelpWindow::HelpWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    initHelpResources();
    setObjectName(QStringLiteral("HelpWindow"));
    setWindowTitle(tr("Parvane Help"));
    Browser = new QTextBrowser(this);
    Browser->setOpenExternalLinks(true);
    Browser->setSearchPaths({QStringLiteral(":/help")});

    auto* contents = new QPushButton(tr("&Contents"), this);
    auto* back = new QPushButton(tr("&Back"), this);
    auto* close = new QPushButton(tr("C&lose"), this);
    connect(contents, &QPushButton::clicked, this, [this] { showContext(help::kContents); });
    connect(back, &QPushButton::clicked, Browser, &QTextBrowser::backward);
    connect(Browser, &QTextBrowser::backwardAvailable, back, &QPushButton::setEnabled);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    back->setEnabled(false);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(contents);
    buttons->addWidget(back);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(Browser, 1);
    resize(560, 480);
}

QString HelpWindow::pageFor(int context) {
    initHelpResources();
    const QString path = QStringLiteral(":/help/%1.html").arg(context);
    return QFile::exists(path) ? path : QString();
}

void HelpWindow::showContext(int context) {
    QString page = pageFor(context);
    if (page.isEmpty()) {
        context = help::kContents;
        page = pageFor(context);
    }
    context_ = context;
    Browser->setSource(QUrl(QStringLiteral("qrc") + page));
}

QString HelpWindow::currentTitle() const { return Browser->documentTitle(); }

HelpWindow* showHelp(int context) {
    static QPointer<HelpWindow> window;
    if (!window) {
        window = new HelpWindow;
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->setAttribute(Qt::WA_QuitOnClose, false);
    }
    window->showContext(context);
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

} // namespace app
