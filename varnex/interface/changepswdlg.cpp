#include "varnex/interface/changepswdlg.h"

#include "varnex/interface/authpswdlg.h"
#include "varnex/interface/wipefield.h"
#include "varnex/model/appsettings.h"
#include "varnex/model/repository.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDialogButtonBox>
#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegExp>
#include <QRegExpValidator>
#include <QToolButton>
#include <QVBoxLayout>

namespace Ui {

class ChangePswDlg {
public:
    QVBoxLayout* verticalLayout_main;
    QGridLayout* gridLayout_body;
    QLineEdit* lineEdit_currpsw;
    QToolButton* toolButton_input;
    QLineEdit* lineEdit_newpsw;
    QLineEdit* lineEdit_newpsw2;
    QLabel* label;
    QDialogButtonBox* buttonBox;

    void setupUi(QDialog* dlg)
    {
        if (dlg->objectName().isEmpty())
            dlg->setObjectName(QStringLiteral("ChangePswDlg"));
        dlg->resize(178, 142);
        verticalLayout_main = new QVBoxLayout(dlg);
        verticalLayout_main->setObjectName(QStringLiteral("verticalLayout_main"));
        gridLayout_body = new QGridLayout();
        gridLayout_body->setObjectName(QStringLiteral("gridLayout_body"));
        lineEdit_currpsw = new QLineEdit(dlg);
        lineEdit_currpsw->setObjectName(QStringLiteral("lineEdit_currpsw"));
        lineEdit_currpsw->setEchoMode(QLineEdit::Password);
        gridLayout_body->addWidget(lineEdit_currpsw, 0, 0);
        toolButton_input = new QToolButton(dlg);
        toolButton_input->setObjectName(QStringLiteral("toolButton_input"));
        gridLayout_body->addWidget(toolButton_input, 0, 1);
        lineEdit_newpsw = new QLineEdit(dlg);
        lineEdit_newpsw->setObjectName(QStringLiteral("lineEdit_newpsw"));
        lineEdit_newpsw->setEchoMode(QLineEdit::Password);
        gridLayout_body->addWidget(lineEdit_newpsw, 2, 0, 1, 2);
        lineEdit_newpsw2 = new QLineEdit(dlg);
        lineEdit_newpsw2->setObjectName(QStringLiteral("lineEdit_newpsw2"));
        lineEdit_newpsw2->setEchoMode(QLineEdit::Password);
        gridLayout_body->addWidget(lineEdit_newpsw2, 3, 0, 1, 2);
        label = new QLabel(dlg);
        label->setObjectName(QStringLiteral("label"));
        gridLayout_body->addWidget(label, 4, 0, 1, 2);
        verticalLayout_main->addLayout(gridLayout_body);
        buttonBox = new QDialogButtonBox(dlg);
        buttonBox->setObjectName(QStringLiteral("buttonBox"));
        buttonBox->setOrientation(Qt::Horizontal);
        buttonBox->setStandardButtons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
        buttonBox->setCenterButtons(true);
        verticalLayout_main->addWidget(buttonBox);

        QWidget::setTabOrder(buttonBox, lineEdit_currpsw);
        QWidget::setTabOrder(lineEdit_currpsw, toolButton_input);
        QWidget::setTabOrder(toolButton_input, lineEdit_newpsw);
        QWidget::setTabOrder(lineEdit_newpsw, lineEdit_newpsw2);
        retranslateUi(dlg);
    }

    void retranslateUi(QDialog* dlg)
    {
        dlg->setWindowTitle(QCoreApplication::translate("ChangePswDlg", "Dialog"));
        toolButton_input->setText(QCoreApplication::translate("ChangePswDlg", "..."));
        label->setText(QCoreApplication::translate("ChangePswDlg", "TextLabel"));
    }
};

} // namespace Ui

ChangePswDlg::ChangePswDlg(int mode, QWidget* parent) : QDialog(parent), ui(new Ui::ChangePswDlg), m_mode(mode)
{
    ui->setupUi(this);
    initWnd();
    connect(ui->toolButton_input, &QToolButton::clicked, this, &ChangePswDlg::onKeyFromBio);
    for (QLineEdit* edit : {ui->lineEdit_currpsw, ui->lineEdit_newpsw, ui->lineEdit_newpsw2})
        connect(edit, &QLineEdit::textChanged, this, &ChangePswDlg::textChangedPsw);
    connect(ui->buttonBox, &QDialogButtonBox::accepted, this, &ChangePswDlg::onOk);
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &ChangePswDlg::onCancel);
}

ChangePswDlg::~ChangePswDlg()
{
    qDebug() << "ChangePswDlg::~ChangePswDlg()";
    for (QLineEdit* edit : {ui->lineEdit_currpsw, ui->lineEdit_newpsw, ui->lineEdit_newpsw2}) {
        edit->blockSignals(true);
        wipeText(edit);
    }
    delete ui;
}

void ChangePswDlg::setMode(int mode)
{
    m_mode = mode;
    initWnd();
}

void ChangePswDlg::initWnd()
{
    setWindowIcon(QIcon(QStringLiteral(":/icons/main-icon")));
    ui->toolButton_input->setIcon(QIcon(QStringLiteral(":/16/oxygen/buttons/key-from-bio")));
    ui->toolButton_input->setIconSize(QSize(16, 16));
    ui->toolButton_input->setToolTip(tr("Извлечь пароль из биометрии"));
    ui->toolButton_input->setWhatsThis(tr("Извлечь пароль из биометрии"));
    ui->lineEdit_currpsw->setPlaceholderText(tr("Введите текущий пароль"));
    ui->lineEdit_newpsw->setPlaceholderText(tr("Введите новый пароль"));
    ui->lineEdit_newpsw2->setPlaceholderText(tr("Введите пароль для подтверждения"));
    for (QLineEdit* edit : {ui->lineEdit_currpsw, ui->lineEdit_newpsw, ui->lineEdit_newpsw2}) {
        // Replaced, not stacked, when the mode is switched.
        if (QObject* old = const_cast<QValidator*>(edit->validator()))
            old->deleteLater();
        edit->setValidator(
            new QRegExpValidator(QRegExp(tr("[A-Za-z0-9]{0,32}"), Qt::CaseSensitive, QRegExp::RegExp), this));
    }
    if (m_mode == CmCreate) {
        setWindowTitle(tr("Создание мастер-пароля"));
        ui->label->setText(tr("Мастер-пароль используется для \nшифрования/расшифровывания хранилища."));
        ui->lineEdit_currpsw->hide();
        ui->toolButton_input->hide();
    } else {
        setWindowTitle(tr("Изменение мастер-пароля"));
        ui->label->setText(tr("При смене главного пароля выполняется \nшифрование хранилища на новом пароле.\n"
                              "Данное действие приведёт к невозможности \nиспользования сформированных ранее НБК."));
        ui->lineEdit_currpsw->show();
        ui->toolButton_input->show();
    }
    ui->buttonBox->button(QDialogButtonBox::Ok)->setEnabled(false);
}

void ChangePswDlg::textChangedPsw()
{
    bool enough = ui->lineEdit_newpsw->text().size() >= 4 && ui->lineEdit_newpsw2->text().size() >= 4;
    if (m_mode != CmCreate)
        enough = enough && ui->lineEdit_currpsw->text().size() >= 4;
    ui->buttonBox->button(QDialogButtonBox::Ok)->setEnabled(enough);
}

void ChangePswDlg::onKeyFromBio()
{
    AuthPswDlg dlg(AuthPswDlg::AmMasterPsw, this);
    if (dlg.exec() != QDialog::Accepted)
        return;
    bioKey.assign(dlg.key());
    // Whatever was typed there before goes the way every password goes.
    wipeText(ui->lineEdit_currpsw);
    ui->lineEdit_currpsw->setText(tr("********"));
}

void ChangePswDlg::onOk()
{
    const QString current = ui->lineEdit_currpsw->text();
    const QString newPsw = ui->lineEdit_newpsw->text();
    const QString confirm = ui->lineEdit_newpsw2->text();

    if (newPsw != confirm) {
        QMessageBox::warning(this, tr("Предупреждение"),
                             tr("Введённые пароли не совпадают.\nПовторите ввод нового пароля и его подтверждения."),
                             QMessageBox::Ok);
        wipeText(ui->lineEdit_newpsw);
        wipeText(ui->lineEdit_newpsw2);
        ui->lineEdit_newpsw->setFocus();
        return;
    }

    if (m_mode != CmCreate) {
        if (current == newPsw) {
            accept();
            return;
        }
        const Nb::SecretBytes newKey(Repository::keyFromPassword(newPsw));
        const Nb::SecretBytes oldKey = current == tr("********") ? bioKey : Nb::SecretBytes(Repository::keyFromPassword(current));
        qDebug() << "ChangePswDlg::onOk" << "changing the master key";
        if (changeMasterKey(oldKey, newKey)) {
            accept();
        } else {
            wipeText(ui->lineEdit_currpsw);
            ui->lineEdit_currpsw->setFocus();
        }
        return;
    }

    Repository repository;
    if (repository.makeMainPsw(newPsw)) {
        saveDefaultSettings();
        accept();
        return;
    }
    QMessageBox::warning(this, tr("Предупреждение"), tr("Ошибка создания хранилища."), QMessageBox::Ok);
    wipeText(ui->lineEdit_newpsw);
    wipeText(ui->lineEdit_newpsw2);
    ui->lineEdit_newpsw->setFocus();
}

void ChangePswDlg::onCancel()
{
    reject();
}

bool ChangePswDlg::changeMasterKey(const QByteArray& oldKey, const QByteArray& newKey)
{
    qDebug() << "changeMasterKey";
    Repository repository;
    // An empty old key (no biometric key taken) never opens the store.
    const bool changed = !oldKey.isEmpty() && repository.changeKey(oldKey, newKey);
    if (changed)
        QMessageBox::information(this, tr("Информация"), tr("Мастер-пароль изменён."), QMessageBox::Ok);
    else
        QMessageBox::warning(this, tr("Предупреждение"), tr("Введённый пароль неправилен.\nВведите заново ваш пароль."),
                             QMessageBox::Ok);
    return changed;
}

void ChangePswDlg::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        ui->retranslateUi(this);
}
