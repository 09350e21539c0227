#include "quorvel/interface/SelectDialog.h"
#include "ui_SelectDialog.h"

#include <QDebug>

#include "nb-cpp/Dispatcher.h"
#include "nb-cpp/InputSequence.h"

SelectDialog::SelectDialog(QWidget* parent, const QStringList& items)
    : QDialog(parent), ui(new Ui::SelectDialog), m_row(0)
{
    ui->setupUi(this);
    connect(ui->pushButton, &QPushButton::clicked, this, &SelectDialog::pressed);
    for (const QString& text : items)
        ui->listWidget->addItem(text);
    ui->listWidget->setFocus();
    // Focus makes the first entry current only once the window is active.
    if (ui->listWidget->count() > 0)
        ui->listWidget->setCurrentRow(0);
}

SelectDialog::~SelectDialog()
{
    delete ui;
    qDebug() << "SelectDialog::~SelectDialog()";
}

void SelectDialog::pressed()
{
    m_row = ui->listWidget->currentRow();
    close();
}

int selectInputVariant(QWidget* parent, const QStringList& items)
{
    SelectDialog dialog(parent, items);
    dialog.exec();
    return dialog.chosenRow();
}

void chooseInputVariant(QWidget* parent, Dispatcher& dispatcher, InputSequence& sequence)
{
    const int size = sequence.stageSize();
    if (size <= 1)
        return;
    // The cursor stays within the group: a step past its last input would
    // stand on whatever follows the group, and the chosen row would then be
    // counted from there.
    QStringList names;
    sequence.restartGroup();
    for (int i = 0; i < size; ++i) {
        if (i > 0)
            sequence.next();
        ModuleInfo info;
        names << (dispatcher.getProvider(sequence.providerId(), nullptr, &info) ? info.name : QString());
    }
    const int row = qBound(0, selectInputVariant(parent, names), size - 1);
    sequence.restartGroup();
    for (int i = 0; i < row; ++i)
        sequence.next();
}
