#pragma once
// Dialog that makes a random password of a chosen length from chosen
// character classes; the text may also be edited by hand before OK.

#include <QByteArray>
#include <QDialog>
#include <QString>

namespace Ui {
class GenPswDlg;
}

class GenPswDlg : public QDialog {
    Q_OBJECT

public:
    explicit GenPswDlg(QWidget* parent = nullptr);
    ~GenPswDlg() override;

    // The accepted password: the line's text when OK was pressed.
    QString password();

    // Appends `length` characters of `alphabet`, each drawn uniformly from
    // the cryptographic generator (no clock seed, no modulo bias). False, and
    // `out` left empty, when the alphabet is empty or longer than 256, the
    // length is negative, or the generator fails.
    static bool randomText(const QString& alphabet, int length, QString& out);

private slots:
    void on_buttonBox_accepted();
    void on_toolButton_gen_clicked();
    void on_checkBox_ABC_clicked();
    void on_checkBox_abc_clicked();
    void on_checkBox_num_clicked();
    void on_checkBox_symb_clicked();
    void on_spinBox_len_valueChanged(int);

private:
    void generate();
    void applyClassChoice();

    Ui::GenPswDlg* ui;
    QString m_password;
    QString m_upper;
    QString m_lower;
    QString m_digits;
    QString m_symbols;
    QString m_alphabet;
};
