#include "show_error_form.h"

#include "centring.h"
#include "message_boxes.h"
#include "problem_solver.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

namespace app {

namespace {
bool showingNow = false;

// Lines the memo shows for `text` at `width` pixels, wrapped paragraphs counted in full.
int wrappedLineCount(const QString& text, const QFontMetrics& metrics, int width) {
    int lines = 0;
    for (const QString& paragraph : text.split(QLatin1Char('\n'))) {
        if (paragraph.isEmpty()) {
            ++lines;
            continue;
        }
        const QRect box = metrics.boundingRect(QRect(0, 0, width, 1 << 20),
                                               Qt::TextWordWrap | Qt::AlignLeft, paragraph);
        lines += std::max(1, box.height() / std::max(1, metrics.lineSpacing()));
    }
    return lines;
}
} // namespace

TShowErrorForm::TShowErrorForm(const QString& caption, const QString& text, bool showContinue,
                               bool stayOpen, QWidget* parent,
                               std::chrono::milliseconds selfCloseTime)
    : QDialog(parent) {
    setObjectName(QStringLiteral("TShowErrorForm"));
    setWindowTitle(caption);
    setModal(true);

    ErrorMemo = new QPlainTextEdit(displayText(text), this);
    ErrorMemo->setObjectName(QStringLiteral("ErrorMemo"));
    ErrorMemo->setReadOnly(true);
    ErrorMemo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    ErrorMemo->setMinimumWidth(420);
    ErrorMemo->setMinimumHeight(2 * QFontMetrics(ErrorMemo->font()).height());

    NoteLabel = new QLabel(
        tr("For more information and possible solutions, click the Fax Problem Solver button"), this);
    NoteLabel->setWordWrap(true);

    OkButton = new QPushButton(tr("Ok"), this);
    OkButton->setObjectName(QStringLiteral("OkButton"));
    OkButton->setDefault(true);
    ProblemSolverButton = new QPushButton(tr(" Fax Problem Solver"), this);
    ProblemSolverButton->setObjectName(QStringLiteral("ProblemSolverButton"));
    ContinueButton = new QPushButton(tr("Continue"), this);
    ContinueButton->setObjectName(QStringLiteral("ContinueButton"));
    ContinueButton->setVisible(showContinue);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OkButton);
    buttons->addWidget(ContinueButton);
    buttons->addWidget(ProblemSolverButton);
    buttons->addStretch();

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(ErrorMemo, 1);
    layout->addWidget(NoteLabel);
    layout->addLayout(buttons);

    connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(ContinueButton, &QPushButton::clicked, this, [this] { done(kContinueResult); });
    connect(ProblemSolverButton, &QPushButton::clicked, this, &TShowErrorForm::problemSolverClicked);

    if (!stayOpen) {
        CloseTimer = new QTimer(this);
        CloseTimer->setSingleShot(true);
        CloseTimer->setInterval(selfCloseTime);
        connect(CloseTimer, &QTimer::timeout, this, &QDialog::accept);
    }
    fitHeightToText();
}

bool TShowErrorForm::isShowing() { return showingNow; }

void TShowErrorForm::fitHeightToText() {
    // From size hints, not geometry: the dialog is not laid out before it is shown.
    const QFontMetrics metrics(ErrorMemo->font());
    const int margin = 2 * (ErrorMemo->frameWidth() + int(ErrorMemo->document()->documentMargin()));
    const int scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    const int textWidth = std::max(100, ErrorMemo->minimumWidth() - margin - scrollBar);
    const int lines = wrappedLineCount(ErrorMemo->toPlainText(), metrics, textWidth);
    const int memoHeight = (lines + 3) * metrics.height();
    int height = memoHeight + sizeHint().height() - ErrorMemo->sizeHint().height();
    // Never taller than the screen: a long report scrolls inside the memo instead.
    if (QScreen* screen = QGuiApplication::primaryScreen())
        height = std::min(height, screen->availableGeometry().height() - 40);
    resize(sizeHint().width(), height);
}

void TShowErrorForm::problemSolverClicked() {
    if (ContinueButton->isVisible()) {
        emit problemSolverRequested();
        return;
    }
    problemSolverAfterClose_ = true;
    accept();
}

int TShowErrorForm::exec() {
    showingNow = true;
    if (CloseTimer)
        CloseTimer->start();
    const int result = QDialog::exec();
    if (CloseTimer)
        CloseTimer->stop();
    showingNow = false;
    return result;
}

namespace {
int runErrorForm(QWidget* parent, const QString& caption, const QString& text, bool showContinue,
                 bool stayOpen, int topic) {
    if (TShowErrorForm::isShowing())
        return QDialog::Rejected;
    TShowErrorForm form(caption, text, showContinue, stayOpen, parent);
    centreWindow(&form, parent ? parent->window() : nullptr);
    QObject::connect(&form, &TShowErrorForm::problemSolverRequested, &form,
                     [&form, topic] { openProblemSolver(&form, topic); });
    const int result = form.exec();
    if (form.problemSolverAfterClose())
        openProblemSolver(parent, topic);
    return result;
}
} // namespace

void showError(QWidget* parent, const QString& caption, const QString& text, bool stayOpen,
               int problemSolverTopic) {
    runErrorForm(parent, caption, text, false, stayOpen, problemSolverTopic);
}

bool showErrorWithContinue(QWidget* parent, const QString& caption, const QString& text,
                           bool stayOpen, int problemSolverTopic) {
    return runErrorForm(parent, caption, text, true, stayOpen, problemSolverTopic) ==
           TShowErrorForm::kContinueResult;
}

} // namespace app
