#include "workflow/phonebook/phone_book_window.h"

#include "workflow/phonebook/phone_book_editor.h"
#include "workflow/phonebook/phone_csv.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QTableView>
#include <QVBoxLayout>

namespace phonebook {

// The rows as last read from the table, so that painting never moves the table.
class PhoneBookModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    void load(PhoneBookStore& store) {
        beginResetModel();
        entries_.clear();
        recnos_.clear();
        const int rows = store.rowCount();
        for (int i = 0; i < rows; ++i) {
            entries_.push_back(store.row(i));
            recnos_.push_back(store.recNo(i));
        }
        endResetModel();
    }
    long recNo(int row) const { return row >= 0 && row < int(recnos_.size()) ? recnos_[std::size_t(row)] : 0; }
    int rowOf(long recno) const {
        for (std::size_t i = 0; i < recnos_.size(); ++i)
            if (recnos_[i] == recno)
                return int(i);
        return -1;
    }
    const PhoneEntry& entry(int row) const { return entries_[std::size_t(row)]; }

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : int(entries_.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : 2; }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || role != Qt::DisplayRole)
            return {};
        const PhoneEntry& e = entries_[std::size_t(index.row())];
        return QString::fromStdString(index.column() == 0 ? e.name : e.number);
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
            return QAbstractTableModel::headerData(section, orientation, role);
        return section == 0 ? tr("Name") : tr("Fax #");
    }

private:
    std::vector<PhoneEntry> entries_;
    std::vector<long> recnos_;
};

namespace {

QPushButton* makeButton(QWidget* parent, const char* name, const QString& text, const QString& hint) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setToolTip(hint);
    b->setAutoDefault(false);
    return b;
}

} // namespace

TPhoneBook::TPhoneBook(QWidget* parent, PhoneBookHooks hooks) : QDialog(parent), hooks_(std::move(hooks)) {
    setObjectName(QStringLiteral("TPhoneBook"));
    setWindowTitle(tr("Phone Book Browser"));

    model_ = new PhoneBookModel(this);
    PhoneGrid = new QTableView(this);
    PhoneGrid->setObjectName(QStringLiteral("PhoneGrid"));
    PhoneGrid->setModel(model_);
    PhoneGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    PhoneGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    PhoneGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    PhoneGrid->verticalHeader()->hide();
    PhoneGrid->horizontalHeader()->setStretchLastSection(true);
    PhoneGrid->setWordWrap(false);
    // Name column as wide as 31 characters, as the table's display width says.
    const int nameWidth = PhoneGrid->fontMetrics().horizontalAdvance(QString(31, QLatin1Char('n')));
    PhoneGrid->setColumnWidth(0, nameWidth);
    PhoneGrid->setMinimumWidth(nameWidth + PhoneGrid->fontMetrics().horizontalAdvance(QString(22, QLatin1Char('0'))));
    PhoneGrid->setMinimumHeight(PhoneGrid->fontMetrics().height() * 14);

    Addbutton = makeButton(this, "Addbutton", tr("&New"), tr("Create a new phone book entry"));
    Modifybutton = makeButton(this, "Modifybutton", tr("&Edit"), tr("Edit the currently selected phone book entry"));
    Deletebutton = makeButton(this, "Deletebutton", tr("&Delete"), tr("Delete the currently selected phone book entry"));
    ImportButton = makeButton(this, "ImportButton", tr("&Import..."), tr("Add the entries of a CSV file"));
    ExportButton = makeButton(this, "ExportButton", tr("E&xport..."), tr("Write all entries to a CSV file"));
    Closebutton = makeButton(this, "Closebutton", tr("C&lose"), tr("Close the Phone Book Browser"));
    Cancelbutton = makeButton(this, "Cancelbutton", tr("Cance&l"), tr("Cancel - do not use any of these phone book entries"));
    OKButton = makeButton(this, "OKButton", tr("&Accept"), tr("Use this phone book entry"));
    Helpbutton = makeButton(this, "Helpbutton", tr("&Help"), QString());
    Helpbutton->setVisible(bool(hooks_.showHelp));

    auto* side = new QVBoxLayout;
    for (QPushButton* b : {Addbutton, Modifybutton, Deletebutton, ImportButton, ExportButton})
        side->addWidget(b);
    side->addStretch(1);
    for (QPushButton* b : {OKButton, Cancelbutton, Closebutton, Helpbutton})
        side->addWidget(b);

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(PhoneGrid, 1);
    layout->addLayout(side);

    connect(Addbutton, &QPushButton::clicked, this, &TPhoneBook::AddbuttonClick);
    connect(Modifybutton, &QPushButton::clicked, this, &TPhoneBook::ModifybuttonClick);
    connect(Deletebutton, &QPushButton::clicked, this, &TPhoneBook::DeletebuttonClick);
    connect(ImportButton, &QPushButton::clicked, this, &TPhoneBook::ImportButtonClick);
    connect(ExportButton, &QPushButton::clicked, this, &TPhoneBook::ExportButtonClick);
    connect(OKButton, &QPushButton::clicked, this, &TPhoneBook::OKButtonClick);
    connect(Closebutton, &QPushButton::clicked, this, &TPhoneBook::reject);
    connect(Cancelbutton, &QPushButton::clicked, this, &TPhoneBook::reject);
    connect(Helpbutton, &QPushButton::clicked, this, [this] { hooks_.showHelp(kHelpContext); });
    connect(PhoneGrid, &QTableView::doubleClicked, this, [this] {
        if (mode_ == Mode::Select)
            OKButtonClick();
        else
            ModifybuttonClick();
    });

    setMode(Mode::Browse);
}

TPhoneBook::~TPhoneBook() = default;

bool TPhoneBook::openTable(const std::filesystem::path& programDir, std::string* error) {
    if (!store_.open(programDir, error))
        return false;
    reload(0);
    return true;
}

void TPhoneBook::setMode(Mode mode) {
    mode_ = mode;
    const bool select = mode == Mode::Select;
    Closebutton->setVisible(!select);
    OKButton->setVisible(select);
    Cancelbutton->setVisible(select);
    OKButton->setDefault(select);
    updateButtons();
}

int TPhoneBook::currentRow() const {
    if (model_->rowCount() == 0)
        return -1;
    const QModelIndex i = PhoneGrid->currentIndex();
    return i.isValid() ? i.row() : 0;
}

void TPhoneBook::setCurrentRow(int row) {
    if (row < 0 || row >= model_->rowCount())
        return;
    PhoneGrid->setCurrentIndex(model_->index(row, 0));
    PhoneGrid->selectRow(row);
}

long TPhoneBook::currentRecNo() const { return model_->recNo(currentRow()); }

void TPhoneBook::reload(long currentRecNo) {
    int row = currentRow();
    model_->load(store_);
    if (currentRecNo > 0 && model_->rowOf(currentRecNo) >= 0)
        row = model_->rowOf(currentRecNo);
    row = std::min(std::max(row, 0), model_->rowCount() - 1);
    if (row >= 0)
        setCurrentRow(row);
    updateButtons();
}

void TPhoneBook::updateButtons() {
    const bool any = model_->rowCount() > 0;
    const bool writable = store_.isOpen();
    Modifybutton->setEnabled(any);
    Deletebutton->setEnabled(any);
    OKButton->setEnabled(any);
    Addbutton->setEnabled(writable);
    ImportButton->setEnabled(writable);
    ExportButton->setEnabled(any);
}

bool TPhoneBook::event(QEvent* e) {
    if (e->type() == QEvent::WindowActivate)
        updateButtons();
    return QDialog::event(e);
}

void TPhoneBook::showError(const QString& what, const std::exception& e) {
    QMessageBox::warning(this, tr("Phone Book"), what + QStringLiteral("\n") + QString::fromStdString(e.what()));
}

void TPhoneBook::AddbuttonClick() {
    TPhoneBookEditor editor(this);
    editor.setHelpHandler(hooks_.showHelp);
    if (hooks_.centre)
        hooks_.centre(&editor);
    if (editor.exec() == QDialog::Accepted) {
        try {
            reload(store_.add(editor.entry()));
        } catch (const std::exception& e) {
            showError(tr("The entry could not be added."), e);
            reload(0);
        }
    }
    QCoreApplication::processEvents();
    updateButtons();
}

void TPhoneBook::ModifybuttonClick() {
    const int row = model_->rowCount() > 0 ? currentRow() : -1;
    if (row < 0) {
        QApplication::beep();
        return;
    }
    const long recno = model_->recNo(row);
    TPhoneBookEditor editor(this);
    editor.setHelpHandler(hooks_.showHelp);
    editor.setEntry(model_->entry(row));
    if (hooks_.centre)
        hooks_.centre(&editor);
    if (editor.exec() != QDialog::Accepted)
        return;
    try {
        store_.update(recno, editor.entry());
    } catch (const std::exception& e) {
        showError(tr("The entry could not be changed."), e);
    }
    reload(recno);
}

void TPhoneBook::DeletebuttonClick() {
    const int row = model_->rowCount() > 0 ? currentRow() : -1;
    if (row < 0) {
        QApplication::beep();
        return;
    }
    const PhoneEntry entry = model_->entry(row);
    QMessageBox box(QMessageBox::Question, tr("Delete"),
                    tr("Delete the current phone book entry?:") + QStringLiteral("\n") +
                        QString::fromStdString(entry.name),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setDefaultButton(QMessageBox::No);
    if (box.exec() != QMessageBox::Yes)
        return;
    try {
        store_.remove(model_->recNo(row));
    } catch (const std::exception& e) {
        showError(tr("The entry could not be deleted."), e);
    }
    // The row that follows takes the deleted one's place; the last row after the last.
    reload(0);
    setCurrentRow(std::min(row, model_->rowCount() - 1));
    QCoreApplication::processEvents();
    updateButtons();
}

void TPhoneBook::OKButtonClick() {
    const int row = model_->rowCount() > 0 ? currentRow() : -1;
    if (row < 0) {
        QApplication::beep();
        return;
    }
    selection_ = model_->entry(row);
    accept();
}

QString TPhoneBook::chooseFile(bool save) {
    if (hooks_.chooseCsvFile)
        return hooks_.chooseCsvFile(this, save);
    const QString filter = tr("CSV files (*.csv);;All files (*)");
    return save ? QFileDialog::getSaveFileName(this, tr("Export Phone Book"), QStringLiteral("phonebook.csv"), filter)
                : QFileDialog::getOpenFileName(this, tr("Import Phone Book"), QString(), filter);
}

void TPhoneBook::ImportButtonClick() {
    const QString file = chooseFile(false);
    if (!file.isEmpty())
        importCsv(file);
}

void TPhoneBook::ExportButtonClick() {
    const QString file = chooseFile(true);
    if (!file.isEmpty())
        exportCsv(file);
}

bool TPhoneBook::importCsv(const QString& file) {
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly)) {
        QMessageBox::warning(this, tr("Import"), tr("%1 cannot be read:\n%2").arg(file, in.errorString()));
        return false;
    }
    const QByteArray bytes = in.readAll();
    const CsvReadResult result = readPhoneCsv(std::string_view(bytes.constData(), std::size_t(bytes.size())));
    if (!result.ok()) {
        QMessageBox::warning(this, tr("Import"),
                             tr("Nothing was imported: %1 of %2 cannot be used.")
                                     .arg(result.problems.size() == 1 ? tr("1 row")
                                                                       : tr("%1 rows").arg(result.problems.size()),
                                          file) +
                                 QStringLiteral("\n\n") + QString::fromStdString(describeProblems(result.problems)));
        return false;
    }
    if (result.entries.empty()) {
        QMessageBox::information(this, tr("Import"), tr("%1 holds no entries.").arg(file));
        return false;
    }
    std::size_t added = 0;
    try {
        added = store_.addAllNew(result.entries);
    } catch (const std::exception& e) {
        showError(tr("Nothing was imported."), e);
        reload(0);
        return false;
    }
    reload(0);
    auto entries = [](std::size_t n) { return n == 1 ? tr("1 entry") : tr("%1 entries").arg(n); };
    QString text = tr("%1 imported.").arg(entries(added));
    if (const std::size_t known = result.entries.size() - added; known > 0)
        text += QStringLiteral(" ") + tr("%1 of the file already in the phone book.").arg(entries(known));
    QMessageBox::information(this, tr("Import"), text);
    return true;
}

bool TPhoneBook::exportCsv(const QString& file) {
    const std::string text = writePhoneCsv(store_.entries());
    // Written beside the target and renamed over it: a failed export leaves an older file whole.
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(text.data(), qint64(text.size())) != qint64(text.size()) ||
        !out.commit()) {
        QMessageBox::warning(this, tr("Export"), tr("%1 cannot be written:\n%2").arg(file, out.errorString()));
        return false;
    }
    return true;
}

} // namespace phonebook
