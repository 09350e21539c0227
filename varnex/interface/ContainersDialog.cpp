#include "varnex/interface/ContainersDialog.h"
#include "ui_ContainersDialog.h"

#include "nb-cpp/Exception.h"
#include "nb-cpp/Nbc.h"
#include "qtnb/SaveFile.h"

#include <QAction>
#include <QDateTime>
#include <QDebug>
#include <QFile>
#include <QFileDialog>
#include <QMenu>
#include <QMessageBox>
#include <QRegExp>
#include <QSignalBlocker>
#include <QUuid>

namespace {

// The display name an item shows while it is not being edited; null for a
// file that does not read as a container.
constexpr int StoredName = Qt::UserRole;

QString readName(const QString& path, QString* error)
{
    try {
        Nbc nbc;
        nbc.readFile(path);
        return nbc.name().isNull() ? QString(QLatin1String("")) : nbc.name();
    } catch (const Exception& e) {
        *error = e.message;
        return QString();
    }
}

} // namespace

ContainersDialog::ContainersDialog(QWidget* parent)
    : QDialog(parent), form(new Ui::ContainersDialog), nbcFiles(QString())
{
    form->setupUi(this);
    actRename = new QAction(QIcon(QStringLiteral(":/16/oxygen/buttons/rename")), tr("Переименовать"), this);
    actExport = new QAction(QIcon(QStringLiteral(":/16/oxygen/buttons/export")), tr("Экспортировать"), this);
    actDelete = new QAction(QIcon(QStringLiteral(":/16/oxygen/buttons/clear")), tr("Удалить"), this);
    actDelete->setShortcut(QKeySequence::Delete);
    actDelete->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    initWnd();
    form->lstContainers->setContextMenuPolicy(Qt::CustomContextMenu);
    form->lstContainers->setIconSize(QSize(32, 32));

    connect(form->btnClose, &QPushButton::clicked, this, &QDialog::accept);
    connect(form->btnImport, &QPushButton::clicked, this, &ContainersDialog::onImportClicked);
    connect(form->btnExport, &QPushButton::clicked, this, &ContainersDialog::onExportClicked);
    connect(form->btnDelete, &QPushButton::clicked, this, &ContainersDialog::onDeleteClicked);
    connect(form->btnDeleteAll, &QPushButton::clicked, this, &ContainersDialog::onDeleteAllClicked);
    connect(form->lstContainers, &QListWidget::itemChanged, this, &ContainersDialog::onNameChanged);
    connect(form->lstContainers, &QListWidget::customContextMenuRequested, this,
            &ContainersDialog::showListContextMenu);
    connect(actRename, &QAction::triggered, this, &ContainersDialog::onRenameClicked);
    connect(actExport, &QAction::triggered, this, &ContainersDialog::onExportClicked);
    connect(actDelete, &QAction::triggered, this, &ContainersDialog::onDeleteClicked);
}

ContainersDialog::~ContainersDialog()
{
    qDebug() << "ContainersDialog::~ContainersDialog()";
    delete form;
}

bool ContainersDialog::isValidName(const QString& name)
{
    return QRegExp(tr("[A-Za-zА-Яа-я0-9 -_]{0,20}")).exactMatch(name);
}

void ContainersDialog::initWnd()
{
    qDebug() << "void ContainersDialog::initWnd() {";
    setWindowTitle(tr("Управление контейнерами"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/main-icon")));
    form->btnImport->setText(tr("Импорт..."));
    form->btnExport->setText(tr("Экспорт..."));
    form->btnDelete->setText(tr("Удалить"));
    form->btnDeleteAll->setText(tr("Удалить всё"));
    form->btnClose->setText(tr("Закрыть"));
    dir = FileNbc::defaultDir();
    form->lstContainers->addAction(actDelete);
    files = nbcFiles.infos();
    updateNbcList();
    qDebug() << "void ContainersDialog::initWnd() }";
}

QString ContainersDialog::pathOf(int row) const
{
    return dir + files.at(row).fileName();
}

void ContainersDialog::updateNbcList()
{
    form->lstContainers->clear();
    for (int row = 0; row < files.size(); ++row) {
        const QFileInfo info(pathOf(row)); // fresh: the dates of renamed files changed
        QString tip = tr("Имя: %1\nДата:%2")
                          .arg(info.fileName(), info.lastModified().toString(QStringLiteral("dd.MM.yyyy hh:mm:ss")));
        QString error;
        const QString name = readName(info.filePath(), &error);
        const QIcon icon(QStringLiteral(":/32/oxygen/pics/container"));
        auto* item = new QListWidgetItem(icon, name);
        if (name.isNull()) {
            // Listed all the same, so that it can be exported or deleted.
            qDebug().noquote() << "ContainersDialog::updateNbcList" << info.fileName() << error;
            item->setText(tr("Повреждённый контейнер"));
            item->setForeground(palette().color(QPalette::Disabled, QPalette::Text));
            item->setIcon(icon.pixmap(QSize(32, 32), QIcon::Disabled));
            tip += QLatin1Char('\n') + error;
        } else {
            item->setFlags(item->flags() | Qt::ItemIsEditable);
        }
        item->setData(StoredName, name);
        item->setToolTip(tip);
        form->lstContainers->addItem(item);
    }
    const bool any = form->lstContainers->count() > 0;
    if (any)
        form->lstContainers->setCurrentRow(0);
    form->btnExport->setEnabled(any);
    form->btnDelete->setEnabled(any);
}

void ContainersDialog::showListContextMenu(const QPoint& pos)
{
    if (form->lstContainers->count() == 0)
        return;
    QListWidget* list = qobject_cast<QListWidget*>(sender());
    if (!list)
        list = form->lstContainers;
    QListWidgetItem* item = list->itemAt(pos);
    if (!item)
        return;
    actRename->setEnabled(item->flags() & Qt::ItemIsEditable);
    QMenu menu(list);
    menu.addAction(actRename);
    menu.addAction(actExport);
    menu.addSeparator();
    menu.addAction(actDelete);
    menu.exec(list->viewport()->mapToGlobal(pos));
    actRename->setEnabled(true);
}

void ContainersDialog::onImportClicked()
{
    const QString source = QFileDialog::getOpenFileName(this, tr("Выберите файл с биометрическим контейнером"),
                                                        QString(), tr("Nbc (*.nbc)"));
    if (source.isEmpty())
        return;
    QString error;
    if (readName(source, &error).isNull()) {
        showError(error);
        return;
    }
    const QString target = dir + QUuid::createUuid().toString() + QLatin1String(".nbc");
    if (!Nb::copyOwnerOnly(source, target)) {
        warn(tr("Не удалось импортировать биометрический контейнер."));
        return;
    }
    files.append(QFileInfo(target));
    updateNbcList();
}

void ContainersDialog::onExportClicked()
{
    const int row = form->lstContainers->currentRow();
    if (row < 0 || row >= files.size())
        return;
    const QString target = QFileDialog::getSaveFileName(
        this, tr("Выберите файл для сохранения биометрического контейнера"), QString(), tr("Nbc (*.nbc)"));
    if (target.isEmpty())
        return;
    // A plain copy: an existing file is never replaced.
    if (!Nb::copyOwnerOnly(pathOf(row), target))
        warn(tr("Не удалось экспортировать биометрический контейнер."));
}

void ContainersDialog::onDeleteClicked()
{
    const int row = form->lstContainers->currentRow();
    if (row < 0 || row >= files.size())
        return;
    if (QMessageBox::question(this, tr("Удаление контейнера"), tr("Вы уверены, что хотите удалить контейнер?"),
                              QMessageBox::Yes | QMessageBox::No)
        != QMessageBox::Yes)
        return;
    // A file that is still there stays in the list.
    if (!QFile::remove(pathOf(row)) && QFile::exists(pathOf(row))) {
        warn(tr("Не удалось удалить биометрический контейнер."));
        return;
    }
    files.removeAt(row);
    updateNbcList();
}

void ContainersDialog::onDeleteAllClicked()
{
    if (QMessageBox::question(this, tr("Удаление контейнера"), tr("Вы уверены, что хотите удалить все контейнеры?"),
                              QMessageBox::Yes | QMessageBox::No)
        != QMessageBox::Yes)
        return;
    QFileInfoList left;
    for (int row = 0; row < files.size(); ++row)
        if (!QFile::remove(pathOf(row)) && QFile::exists(pathOf(row)))
            left.append(files.at(row));
    files = left;
    updateNbcList();
    if (!left.isEmpty())
        warn(tr("Не удалось удалить биометрический контейнер."));
}

void ContainersDialog::onRenameClicked()
{
    qDebug() << "onRenameClicked";
    if (QListWidgetItem* item = form->lstContainers->currentItem())
        form->lstContainers->editItem(item);
}

void ContainersDialog::onNameChanged(QListWidgetItem* item)
{
    const int row = form->lstContainers->row(item);
    if (row < 0 || row >= files.size())
        return;
    const QString path = pathOf(row);
    const QString shown = item->data(StoredName).toString();
    Nbc nbc;
    QString error;
    bool ok = false;
    try {
        ok = nbc.readFile(path);
    } catch (const Exception& e) {
        error = e.message;
    }
    qDebug() << "ContainersDialog::onNameChanged read" << ok << nbc.name();
    if (!ok) {
        setItemName(item, shown);
        showError(error);
        return;
    }
    const QString text = item->text();
    if (!isValidName(text)) {
        setItemName(item, nbc.name());
        warn(tr("Недопустимое имя контейнера"));
        return;
    }
    if (text == nbc.name())
        return;
    nbc.setName(text);
    try {
        ok = nbc.writeFile(path);
    } catch (const Exception& e) {
        ok = false;
        error = e.message;
    }
    qDebug() << "ContainersDialog::onNameChanged write" << ok << text;
    if (!ok) {
        setItemName(item, shown);
        showError(error);
        return;
    }
    setItemName(item, text);
}

void ContainersDialog::setItemName(QListWidgetItem* item, const QString& name)
{
    const QSignalBlocker quiet(form->lstContainers);
    item->setText(name);
    item->setData(StoredName, name);
}

void ContainersDialog::showError(const QString& text)
{
    QMessageBox::critical(this, tr("Ошибка"), text, QMessageBox::Ok);
}

void ContainersDialog::warn(const QString& text)
{
    QMessageBox::warning(this, tr("Предупреждение"), text, QMessageBox::Ok);
}
