#pragma once
// The chooser among the alternative inputs of a scheme stage: lists them by
// the names of their input modules and keeps the row the user picked.

#include <QDialog>
#include <QStringList>

class Dispatcher;
class InputSequence;

namespace Ui {
class SelectDialog;
}

class SelectDialog : public QDialog {
    Q_OBJECT
public:
    SelectDialog(QWidget* parent, const QStringList& items);
    ~SelectDialog() override;

    // 0 unless "Выбрать" was pressed; -1 when it was pressed with no row.
    int chosenRow() const { return m_row; }

public slots:
    void pressed();

private:
    Ui::SelectDialog* ui;
    int m_row;
};

// Runs the chooser modally and returns the chosen row.
int selectInputVariant(QWidget* parent, const QStringList& items);

// When the current stage of the sequence holds alternatives, asks which one
// the user will enter and moves the sequence onto it.
void chooseInputVariant(QWidget* parent, Dispatcher& dispatcher, InputSequence& sequence);
