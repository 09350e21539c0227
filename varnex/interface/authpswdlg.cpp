#include "varnex/interface/authpswdlg.h"

#include "nb-cpp/Exception.h"
#include "nb-cpp/Nbc.h"
#include "varnex/interface/wipefield.h"
#include "varnex/model/repository.h"

#include <iterator>

#include <QComboBox>
#include <QCoreApplication>
#include <QDebug>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegExp>
#include <QRegExpValidator>
#include <QSpacerItem>
#include <QTextCodec>
#include <QToolButton>
#include <QVBoxLayout>

namespace Ui {

class AuthPswDlg {
public:
    QVBoxLayout* verticalLayout_main;
    QHBoxLayout* horizontalLayout_body;
    QVBoxLayout* verticalLayout_body;
    QGroupBox* groupBox;
    QGridLayout* gridLayout_2;
    QLineEdit* lineEdit_psw;
    QPushButton* pushButton_unlock;
    QLabel* label_info;
    QHBoxLayout* horizontalLayout_btns;
    QComboBox* comboBox_nbc;
    QToolButton* toolButton_back;
    QToolButton* toolButton_close;

    void setupUi(QDialog* dlg)
    {
        if (dlg->objectName().isEmpty())
            dlg->setObjectName(QStringLiteral("AuthPswDlg"));
        dlg->resize(202, 148);
        verticalLayout_main = new QVBoxLayout(dlg);
        verticalLayout_main->setObjectName(QStringLiteral("verticalLayout_main"));
        horizontalLayout_body = new QHBoxLayout();
        horizontalLayout_body->setObjectName(QStringLiteral("horizontalLayout_body"));
        verticalLayout_body = new QVBoxLayout();
        verticalLayout_body->setObjectName(QStringLiteral("verticalLayout_body"));
        groupBox = new QGroupBox(dlg);
        groupBox->setObjectName(QStringLiteral("groupBox"));
        gridLayout_2 = new QGridLayout(groupBox);
        gridLayout_2->setObjectName(QStringLiteral("gridLayout_2"));
        lineEdit_psw = new QLineEdit(groupBox);
        lineEdit_psw->setObjectName(QStringLiteral("lineEdit_psw"));
        lineEdit_psw->setEchoMode(QLineEdit::Password);
        gridLayout_2->addWidget(lineEdit_psw, 0, 0);
        pushButton_unlock = new QPushButton(groupBox);
        pushButton_unlock->setObjectName(QStringLiteral("pushButton_unlock"));
        gridLayout_2->addWidget(pushButton_unlock, 1, 0);
        label_info = new QLabel(groupBox);
        label_info->setObjectName(QStringLiteral("label_info"));
        label_info->setAlignment(Qt::AlignCenter);
        gridLayout_2->addWidget(label_info, 2, 0);
        gridLayout_2->addItem(new QSpacerItem(20, 40, QSizePolicy::Minimum, QSizePolicy::Expanding), 3, 0);
        verticalLayout_body->addWidget(groupBox);
        horizontalLayout_body->addLayout(verticalLayout_body);
        verticalLayout_main->addLayout(horizontalLayout_body);

        horizontalLayout_btns = new QHBoxLayout();
        horizontalLayout_btns->setObjectName(QStringLiteral("horizontalLayout_btns"));
        horizontalLayout_btns->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
        comboBox_nbc = new QComboBox(dlg);
        comboBox_nbc->setObjectName(QStringLiteral("comboBox_nbc"));
        horizontalLayout_btns->addWidget(comboBox_nbc);
        toolButton_back = new QToolButton(dlg);
        toolButton_back->setObjectName(QStringLiteral("toolButton_back"));
        toolButton_back->setCheckable(true);
        horizontalLayout_btns->addWidget(toolButton_back);
        toolButton_close = new QToolButton(dlg);
        toolButton_close->setObjectName(QStringLiteral("toolButton_close"));
        horizontalLayout_btns->addWidget(toolButton_close);
        verticalLayout_main->addLayout(horizontalLayout_btns);

        retranslateUi(dlg);
    }

    void retranslateUi(QDialog* dlg)
    {
        dlg->setWindowTitle(QCoreApplication::translate("AuthPswDlg", "Dialog"));
        pushButton_unlock->setText(QCoreApplication::translate("AuthPswDlg", "Unlock"));
        lineEdit_psw->setPlaceholderText(QCoreApplication::translate("AuthPswDlg", "Password"));
        label_info->setText(QCoreApplication::translate("AuthPswDlg", "Info TextLabel"));
        toolButton_back->setText(QCoreApplication::translate("AuthPswDlg", "..."));
        toolButton_close->setText(QCoreApplication::translate("AuthPswDlg", "..."));
    }
};

} // namespace Ui

AuthPswDlg::AuthPswDlg(int dialogMode, QWidget* parent)
    : QDialog(parent), ui(new Ui::AuthPswDlg), nbcDir(QString()), mode(dialogMode)
{
    ui->setupUi(this);
    // Without the wizard library no container is offered (below), so an
    // unloaded binding is never called.
    lib.load(QStringLiteral("./quorvel"));
    initWnd();

    ui->lineEdit_psw->setValidator(
        new QRegExpValidator(QRegExp(tr("[A-Za-z0-9]{0,32}"), Qt::CaseSensitive, QRegExp::RegExp), this));

    loadSettings(settings);
    if (lib.isLoaded())
        nbcFiles = nbcDir.names();
    if (nbcFiles.isEmpty())
        settings.nbcFile = QString();
    ui->lineEdit_psw->setVisible(settings.nbcFile.isEmpty());
    fillCombo();
    ui->toolButton_back->setChecked(true);

    connect(ui->pushButton_unlock, &QPushButton::clicked, this, &AuthPswDlg::onUnlock);
    connect(ui->toolButton_back, &QToolButton::clicked, this, &AuthPswDlg::onBack);
    connect(ui->toolButton_close, &QToolButton::clicked, this, &AuthPswDlg::onClose);
    connect(ui->comboBox_nbc, QOverload<int>::of(&QComboBox::activated), this, &AuthPswDlg::onComboActivated);
}

AuthPswDlg::~AuthPswDlg()
{
    qDebug() << "AuthPswDlg::~AuthPswDlg()";
    wipeText(ui->lineEdit_psw);
    delete ui;
}

namespace {

// What the dialog says in each mode.
struct DlgTexts {
    const char* title;
    const char* button;
    const char* tip;
    const char* info;
    const char* placeholder;
};

const DlgTexts ModeTexts[] = {
    {QT_TRANSLATE_NOOP("AuthPswDlg", "Открыть хранилище"), QT_TRANSLATE_NOOP("AuthPswDlg", "Открыть"),
     QT_TRANSLATE_NOOP("AuthPswDlg", "Открыть хранилище"),
     QT_TRANSLATE_NOOP("AuthPswDlg", "Введите пароль для доступа \nк вашим персональным данным."),
     QT_TRANSLATE_NOOP("AuthPswDlg", "Пароль")},
    {QT_TRANSLATE_NOOP("AuthPswDlg", "Снятие блокировки"), QT_TRANSLATE_NOOP("AuthPswDlg", "Разблокировать"),
     QT_TRANSLATE_NOOP("AuthPswDlg", "Снять блокировку"),
     QT_TRANSLATE_NOOP("AuthPswDlg", "Программа заблокирована.\nДля снятия блокировки\nвведите пароль."),
     QT_TRANSLATE_NOOP("AuthPswDlg", "Пароль")},
    {QT_TRANSLATE_NOOP("AuthPswDlg", "Введите мастер-пароль"), QT_TRANSLATE_NOOP("AuthPswDlg", "Ввод"),
     QT_TRANSLATE_NOOP("AuthPswDlg", "Ввести мастер-пароль"),
     QT_TRANSLATE_NOOP("AuthPswDlg",
                       "Для создания биометрического \nконтейнера (НБК) необходимо ввести \nтекущий мастер-пароль."),
     QT_TRANSLATE_NOOP("AuthPswDlg", "Введите текущий пароль")},
};

} // namespace

void AuthPswDlg::initWnd()
{
    QTextCodec* codec = QTextCodec::codecForLocale();
    if (!codec || codec->name() != "UTF-8")
        QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));

    setWindowIcon(QIcon(QStringLiteral(":/icons/main-icon")));
    ui->lineEdit_psw->setPlaceholderText(tr("Пароль"));

    if (mode >= 0 && mode < int(std::size(ModeTexts))) {
        const DlgTexts& t = ModeTexts[mode];
        setWindowTitle(tr(t.title));
        ui->pushButton_unlock->setText(tr(t.button));
        ui->pushButton_unlock->setToolTip(tr(t.tip));
        ui->pushButton_unlock->setWhatsThis(tr(t.tip));
        ui->label_info->setText(tr(t.info));
        ui->lineEdit_psw->setPlaceholderText(tr(t.placeholder));
        ui->toolButton_close->setVisible(mode != AmMasterPsw);
    }

    ui->toolButton_back->setIcon(QIcon(QStringLiteral(":/32/oxygen/buttons/input-mode")));
    ui->toolButton_close->setIcon(QIcon(QStringLiteral(":/32/oxygen/buttons/exit")));
    ui->toolButton_back->setIconSize(QSize(16, 16));
    ui->toolButton_close->setIconSize(QSize(16, 16));
    ui->lineEdit_psw->setToolTip(tr("Поле ввода пароля."));
    ui->lineEdit_psw->setWhatsThis(tr("Поле ввода пароля."));
    ui->toolButton_back->setToolTip(tr("Выбор способа аутентификации"));
    ui->toolButton_back->setWhatsThis(tr("Выбор способа аутентификации"));
    ui->toolButton_close->setToolTip(tr("Завершение работы"));
    ui->toolButton_close->setWhatsThis(tr("Завершение работы"));
}

void AuthPswDlg::fillCombo()
{
    ui->comboBox_nbc->clear();
    ui->comboBox_nbc->addItem(tr("Пароль"));
    ui->comboBox_nbc->setCurrentIndex(0);
    if (nbcFiles.isEmpty()) {
        ui->lineEdit_psw->show();
        settings.nbcFile = QString();
        return;
    }
    int chosen = 0;
    try {
        for (int i = 0; i < nbcFiles.size(); ++i) {
            Nbc nbc;
            if (!nbc.readFile(FileNbc::defaultDir() + nbcFiles.at(i)))
                throw Exception("unreadable container");
            ui->comboBox_nbc->addItem(nbc.name());
            if (nbcFiles.at(i) == settings.nbcFile)
                chosen = i + 1;
        }
    } catch (const Exception&) {
        // The listing ends at the unreadable file; only the rows before it
        // can be chosen.
        chosen = 0;
    }
    ui->comboBox_nbc->setCurrentIndex(chosen);
    if (chosen == 0) {
        ui->lineEdit_psw->show();
        settings.nbcFile = QString();
    }
}

void AuthPswDlg::onComboActivated(int row)
{
    if (row <= 0) {
        if (!settings.nbcFile.isNull())
            settings.nbcFile = QString();
        ui->lineEdit_psw->show();
        return;
    }
    // Rows beyond the listed files cannot be chosen.
    if (row - 1 >= nbcFiles.size())
        return;
    settings.nbcFile = nbcFiles.at(row - 1);
    ui->lineEdit_psw->hide();
    onUnlock();
}

void AuthPswDlg::onUnlock()
{
    Repository repository;
    bool right = false;
    if (!settings.nbcFile.isEmpty()) {
        const QString path = FileNbc::defaultDir() + settings.nbcFile;
        qDebug() << "AuthPswDlg::onUnlock" << "container:" << ('"' + path + '"').toUtf8().constData();
        if (!keyFromNbc(path))
            return;
        right = repository.isRightMainKey(m_key);
    } else {
        const QString text = ui->lineEdit_psw->text();
        if (text.isEmpty())
            return;
        m_key = Repository::keyFromPassword(text);
        right = repository.isRightMainKey(text);
    }

    // The typed password has served either way.
    wipeText(ui->lineEdit_psw);
    if (right) {
        saveSettings(settings);
        accept();
        return;
    }
    // A key that failed the check (a container trained before the master
    // password changed gives one) is of no use to anyone.
    m_key.clear();
    ui->lineEdit_psw->setFocus(Qt::OtherFocusReason);
    QMessageBox::warning(this, tr("Предупреждение"), tr("Введённый пароль неправилен.\nВведите заново ваш пароль."),
                         QMessageBox::Ok);
}

bool AuthPswDlg::keyFromNbc(const QString& path)
{
    m_key.clear();
    QByteArray bytes;
    bool read = false;
    try {
        Nbc nbc;
        read = nbc.readFile(path) && nbc.toBytes(bytes);
    } catch (const Exception&) {
        read = false;
    }
    if (!read) {
        QMessageBox::warning(this, tr("Предупреждение"), tr("Не удалось загрузить биометрический контейнер"),
                             QMessageBox::Ok);
        return false;
    }
    const uint32_t result = lib.extract(bytes, m_key.bytes(), this);
    if (result == 0)
        return true;
    m_key.clear();
    if (result != 2)
        QMessageBox::warning(this, tr("Предупреждение"), tr("Ошибка извлечения ключа"), QMessageBox::Ok);
    return false;
}

void AuthPswDlg::onBack()
{
    ui->comboBox_nbc->setVisible(ui->toolButton_back->isChecked());
}

void AuthPswDlg::onClose()
{
    reject();
}

void AuthPswDlg::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        ui->retranslateUi(this);
}
