// The desktop program. The main window comes next; until then it opens the fax log
// and reports what it holds.
#include <QApplication>
#include <QMessageBox>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Parvane");
    QMessageBox::information(nullptr, "Parvane", "Parvane is being built. Use parvane-cli for now.");
    return 0;
}
