#include "nb-cpp/Exception.h"

#include <QMessageBox>

// Kept apart from the error object so that a program that only catches
// exceptions does not pull in the message box.
void showError(QString text)
{
    QMessageBox* box = new QMessageBox(QMessageBox::Critical, QObject::tr("Ошибка"), text,
                                       QMessageBox::NoButton, nullptr,
                                       Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    box->exec();
    delete box;
}
