#include "mainWindow.h"

#include <QMessageBox>
#include <QPlainTextEdit>

QString helpFilePath;

void showMessageBox(const QString &text, const QString &title)
{
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok);
    box.exec();
}

MainWindow::MainWindow(ShowMessage showMessage, QWidget *parent)
    : QMainWindow(parent), showMessage(std::move(showMessage)), cueText(new QPlainTextEdit(this))
{
    setWindowTitle(tr("MORVANT by Tesselin"));
    cueText->setPlainText(tr("Click File->Open or drop a CCD file here to begin.") + QStringLiteral("\r\n"));
    setCentralWidget(cueText);
    resize(593, 545);
}
