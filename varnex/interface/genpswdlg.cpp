#include "varnex/interface/genpswdlg.h"
#include "ui_genpswdlg.h"
#include "qtnb/Wipe.h"

#include <QDebug>
#include <QIcon>
#include <QRegExp>
#include <QRegExpValidator>

#include <openssl/rand.h>

GenPswDlg::GenPswDlg(QWidget* parent)
    : QDialog(parent)
    , ui(new Ui::GenPswDlg)
{
    ui->setupUi(this);
    setWindowIcon(QIcon(QStringLiteral(":/icons/main-icon")));
    setWindowTitle(tr("Создать пароль"));
    ui->lineEdit_psw->setToolTip(tr("Сгенерированный пароль."));
    ui->lineEdit_psw->setWhatsThis(tr("Созданный случайный пароль."));
    ui->toolButton_gen->setIcon(QIcon(QStringLiteral(":/32/tango/buttons/refresh")));
    ui->toolButton_gen->setIconSize(QSize(32, 32));
    ui->toolButton_gen->setToolTip(tr("Обновить пароль."));
    ui->toolButton_gen->setWhatsThis(tr("Создать новый пароль."));

    m_upper = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    m_lower = QStringLiteral("abcdefghijklmnopqrstuvwxyz");
    m_digits = QStringLiteral("0123456789");
    m_symbols = QStringLiteral("~!@#$%^&*()-+=_,.<>?/\\|");

    // Exactly the characters the generator may use; inside the set the caret,
    // the minus and the backslash are escaped so that each stands for itself.
    ui->lineEdit_psw->setValidator(new QRegExpValidator(
        QRegExp(tr("[A-Za-z0-9~!@#$%\\^&*()\\-+=_,.<>?/\\\\|]{0,32}")), ui->lineEdit_psw));

    generate();
}

GenPswDlg::~GenPswDlg()
{
    qDebug() << "GenPswDlg::~GenPswDlg";
    delete ui;
}

QString GenPswDlg::password()
{
    return m_password;
}

bool GenPswDlg::randomText(const QString& alphabet, int length, QString& out)
{
    out.clear();
    const int n = alphabet.size();
    if (n <= 0 || n > 256 || length < 0)
        return false;
    // One byte per draw; bytes from the largest multiple of n up are drawn
    // again, so that every character of the alphabet is equally likely.
    const int limit = 256 - 256 % n;
    QString result;
    result.reserve(length);
    unsigned char pool[64];
    bool ok = true;
    while (result.size() < length) {
        if (RAND_bytes(pool, int(sizeof pool)) != 1) {
            ok = false;
            break;
        }
        for (unsigned char b : pool) {
            if (b >= limit)
                continue;
            result.append(alphabet.at(b % n));
            if (result.size() == length)
                break;
        }
    }
    Nb::wipe(pool, sizeof pool);
    if (!ok) {
        Nb::wipe(result);
        return false;
    }
    out = result;
    return true;
}

void GenPswDlg::generate()
{
    m_alphabet.clear();
    if (ui->checkBox_ABC->isChecked())
        m_alphabet += m_upper;
    if (ui->checkBox_abc->isChecked())
        m_alphabet += m_lower;
    if (ui->checkBox_num->isChecked())
        m_alphabet += m_digits;
    if (ui->checkBox_symb->isChecked())
        m_alphabet += m_symbols;

    const int length = ui->spinBox_len->value();
    QString result;
    if (!m_alphabet.isEmpty() && !randomText(m_alphabet, length, result))
        qDebug() << "GenPswDlg::generate: the random generator failed";
    m_password = result;
    ui->lineEdit_psw->setText(m_password);
}

void GenPswDlg::applyClassChoice()
{
    const bool any = ui->checkBox_ABC->isChecked() || ui->checkBox_abc->isChecked()
        || ui->checkBox_num->isChecked() || ui->checkBox_symb->isChecked();
    ui->toolButton_gen->setEnabled(any);
    if (any) {
        generate();
    } else {
        m_password = QString();
        ui->lineEdit_psw->clear();
    }
}

void GenPswDlg::on_buttonBox_accepted()
{
    m_password = ui->lineEdit_psw->text();
}

void GenPswDlg::on_toolButton_gen_clicked()
{
    generate();
}

void GenPswDlg::on_checkBox_ABC_clicked()
{
    applyClassChoice();
}

void GenPswDlg::on_checkBox_abc_clicked()
{
    applyClassChoice();
}

void GenPswDlg::on_checkBox_num_clicked()
{
    applyClassChoice();
}

void GenPswDlg::on_checkBox_symb_clicked()
{
    applyClassChoice();
}

void GenPswDlg::on_spinBox_len_valueChanged(int)
{
    generate();
}
