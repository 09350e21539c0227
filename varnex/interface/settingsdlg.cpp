#include "varnex/interface/settingsdlg.h"
#include "ui_settingsdlg.h"

#include "nb-cpp/Exception.h"
#include "nb-cpp/Nbc.h"
#include "varnex/interface/ContainersDialog.h"
#include "varnex/interface/authpswdlg.h"
#include "varnex/interface/changepswdlg.h"
#include "varnex/model/DynLibUlvar.h"
#include "varnex/model/filenbc.h"
#include "qtnb/Wipe.h"

#include <QDateTime>
#include <QDebug>
#include <QEvent>
#include <QFileDialog>
#include <QMessageBox>
#include <QUuid>

#include <algorithm>
#include <iterator>

namespace {

const qint32 LockIntervals[] = {5000, 30000, 60000, 300000, 900000, 1800000, 0};

// Translated once, when the first dialog is built.
const QStringList& lockLabels()
{
    static const QStringList labels{
        SettingsDlg::tr("5 секунд"), SettingsDlg::tr("30 секунд"), SettingsDlg::tr("1 минута"),
        SettingsDlg::tr("5 минут"),  SettingsDlg::tr("15 минут"),  SettingsDlg::tr("30 минут"),
        SettingsDlg::tr("никогда")};
    return labels;
}

void setTip(QWidget* w, const QString& tip)
{
    w->setToolTip(tip);
    w->setWhatsThis(tip);
}

} // namespace

SettingsDlg::SettingsDlg(QWidget* parent) : QDialog(parent), form(new Ui::SettingsDlg)
{
    form->setupUi(this);
    initWnd();
    connect(form->comboBox_time, QOverload<int>::of(&QComboBox::activated), this, &SettingsDlg::onActivatedCombo);
    connect(form->toolButton_changePsw, &QToolButton::clicked, this, &SettingsDlg::onChangePsw);
    connect(form->toolButton_makeNbc, &QToolButton::clicked, this, &SettingsDlg::onMakeNbc);
    connect(form->toolButton_manageNbc, &QToolButton::clicked, this, &SettingsDlg::onManageNbc);
    connect(form->toolButton_backup, &QToolButton::clicked, this, &SettingsDlg::onSaveBackup);
    connect(form->toolButton_loadBackup, &QToolButton::clicked, this, &SettingsDlg::onLoadBackup);
    connect(form->toolButton_eraseRep, &QToolButton::clicked, this, &SettingsDlg::onEraseRepository);
}

SettingsDlg::~SettingsDlg()
{
    qDebug() << "SettingsDlg::~SettingsDlg()";
    delete form;
}

void SettingsDlg::initWnd()
{
    setWindowIcon(QIcon(QStringLiteral(":/icons/main-icon")));
    setWindowTitle(tr("Настройки приложения"));
    const struct {
        QToolButton* button;
        const char* icon;
    } icons[] = {
        {form->toolButton_changePsw, ":/32/oxygen/buttons/password-add"},
        {form->toolButton_makeNbc, ":/32/oxygen/buttons/tablet-add"},
        {form->toolButton_manageNbc, ":/32/oxygen/buttons/preview-nbc"},
        {form->toolButton_backup, ":/32/oxygen/buttons/backup"},
        {form->toolButton_loadBackup, ":/32/oxygen/buttons/restore"},
        {form->toolButton_eraseRep, ":/32/oxygen/buttons/database-remove"},
    };
    for (const auto& i : icons) {
        i.button->setIcon(QIcon(QLatin1String(i.icon)));
        i.button->setIconSize(QSize(32, 32));
    }
    form->label_makeNbc->setText(tr("Задать биометрический пароль"));
    setTip(form->toolButton_makeNbc, tr("Создать биометрический контейнер"));
    setTip(form->toolButton_manageNbc, tr("Биометрические контейнеры"));
    setTip(form->toolButton_backup, tr("Создать резервную копию"));
    setTip(form->toolButton_loadBackup, tr("Восстановить резервную копию"));
    setTip(form->toolButton_eraseRep, tr("Очистить и удалить хранилище"));
    setTip(form->comboBox_time, tr("Установить время до автоблокировки"));
    updateState();

    form->comboBox_time->clear();
    form->comboBox_time->addItems(lockLabels());
    loadRecord();
}

qint32 SettingsDlg::lockIntervalInUse(qint32 stored)
{
    const auto end = std::end(LockIntervals);
    return std::find(std::begin(LockIntervals), end, stored) != end ? stored : 0;
}

void SettingsDlg::loadRecord()
{
    loadSettings(m_settings);
    m_settings.lockInterval = lockIntervalInUse(m_settings.lockInterval);
    const qint32* found = std::find(std::begin(LockIntervals), std::end(LockIntervals), m_settings.lockInterval);
    form->comboBox_time->setCurrentIndex(int(found - std::begin(LockIntervals)));
}

void SettingsDlg::signalStoreChanged()
{
    emit repositoryChanged();
    loadRecord();
}

void SettingsDlg::setPswTexts(bool change)
{
    form->label_changePsw->setText(change ? tr("Изменить мастер-пароль") : tr("Задать мастер-пароль"));
    setTip(form->toolButton_changePsw, change ? tr("Изменить главный пароль") : tr("Задать главный пароль"));
}

void SettingsDlg::updateState()
{
    storeExists = repository.exists();
    for (QToolButton* b : {form->toolButton_makeNbc, form->toolButton_backup, form->toolButton_eraseRep})
        b->setEnabled(storeExists);
    setPswTexts(storeExists);
}

void SettingsDlg::warn(const QString& text)
{
    QMessageBox::warning(this, tr("Предупреждение"), text, QMessageBox::Ok);
}

void SettingsDlg::onActivatedCombo(int row)
{
    if (row < 0 || row >= int(std::size(LockIntervals)))
        return;
    m_settings.lockInterval = LockIntervals[row];
    saveSettings(m_settings);
}

void SettingsDlg::onChangePsw()
{
    ChangePswDlg dlg(ChangePswDlg::CmChange, this);
    if (!repository.exists())
        dlg.setMode(ChangePswDlg::CmCreate);
    if (dlg.exec() != QDialog::Accepted)
        return;
    setPswTexts(true);
    if (dlg.mode() == ChangePswDlg::CmCreate) {
        updateState();
        signalStoreChanged();
    }
}

void SettingsDlg::onMakeNbc()
{
    qDebug() << "SettingsDlg::onMakeNbc()";
    DynLibUlvar lib;
    if (!lib.load(QStringLiteral("./quorvel"))) {
        warn(tr("Не удалось загрузить библиотеку НПБК"));
        return;
    }
    Nb::SecretBytes key;
    {
        AuthPswDlg auth(AuthPswDlg::AmMasterPsw, this);
        if (auth.exec() != QDialog::Accepted)
            return;
        key.assign(auth.key());
    }
    qDebug() << "create nbc..." << "key length:" << key.size();
    QByteArray bytes;
    const uint32_t result = lib.train(key, bytes, this);
    key.clear();
    if (result == 2)
        return;
    if (result != 0) {
        warn(tr("Ошибка создания биометрического контейнера"));
        return;
    }
    const QString path = FileNbc::defaultDir() + QUuid::createUuid().toString() + QLatin1String(".nbc");
    bool written = false;
    try {
        Nbc nbc;
        written = nbc.fromBytes(bytes) && nbc.writeFile(path);
    } catch (const Exception& e) {
        qDebug().noquote() << "SettingsDlg::onMakeNbc" << e.message;
    }
    if (!written)
        warn(tr("Ошибка сохранения биометрического контейнера"));
    qDebug() << "SettingsDlg::onMakeNbc" << path;
}

void SettingsDlg::onManageNbc()
{
    qDebug() << "SettingsDlg::onManageNbc()";
    ContainersDialog dlg(this);
    dlg.exec();
}

void SettingsDlg::onSaveBackup()
{
    if (!repository.exists())
        return;
    const QString proposed =
        tr("Varnex") + QDateTime::currentDateTime().toString(QStringLiteral("_dd_MM_yyyy_")) + tr("v1.bpk");
    const QString target = QFileDialog::getSaveFileName(
        this, tr("Выберите файл для сохранения резервной копии хранилища"), proposed, tr("Хранилище (*.bpk)"));
    qDebug() << "onSaveBackup";
    if (target.isEmpty())
        return;
    // A plain copy: an existing file is never replaced.
    if (!repository.saveBackup(target))
        warn(tr("Не удалось создать резервную копию."));
}

void SettingsDlg::onLoadBackup()
{
    if (repository.exists()
        && QMessageBox::question(this, tr("Замена хранилища"),
                                 tr("Вы уверены, что хотите заменить текущее хранилище?"),
                                 QMessageBox::Yes | QMessageBox::No)
               != QMessageBox::Yes)
        return;
    const QString source = QFileDialog::getOpenFileName(this, tr("Выберите файл резервной копии хранилища"),
                                                        QString(), tr("Хранилище (*.bpk)"));
    if (source.isEmpty())
        return;
    // Not erased first: the store is replaced only by a whole copy of a
    // file that reads as a store, and stays as it was otherwise.
    if (!repository.replaceFrom(source)) {
        warn(tr("Не удалось восстановить резервную копию."));
        return;
    }
    updateState();
    signalStoreChanged();
}

void SettingsDlg::onEraseRepository()
{
    qDebug() << "SettingsDlg::onEraseRepository()";
    if (QMessageBox::question(this, tr("Удаление хранилища"),
                              tr("Вы уверены, что хотите БЕЗВОЗВРАТНО удалить хранилище?"),
                              QMessageBox::Yes | QMessageBox::No)
        != QMessageBox::Yes)
        return;
    const bool erased = repository.erase();
    updateState(); // a failed erase may still have removed the file
    if (!erased)
        warn(tr("Не удалось удалить хранилище."));
    signalStoreChanged();
}

void SettingsDlg::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::LanguageChange) {
        qDebug() << "SettingsDlg::QEvent::LanguageChange";
        form->retranslateUi(this);
    }
}
