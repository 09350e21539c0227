// The container manager through its widgets: listing (unreadable files
// included), names, rename in place, import, export, delete one or all,
// the context menu.

#include "ModalDriver.h"
#include "TestFiles.h"
#include "nb-cpp/Nbc.h"
#include "varnex/interface/ContainersDialog.h"
#include "varnex/model/filenbc.h"

#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QtTest>

#include <memory>

using D = ModalDriver;

namespace {

QString makeNbc(const QString& file, const QString& name)
{
    Nbc nbc;
    nbc.setName(name);
    nbc.writeFile(FileNbc::defaultDir() + file);
    return file;
}

QString nameIn(const QString& file)
{
    Nbc nbc;
    try {
        nbc.readFile(FileNbc::defaultDir() + file);
    } catch (...) {
        return "unreadable";
    }
    return nbc.name();
}

QStringList shown(QListWidget* l)
{
    QStringList out;
    for (int i = 0; i < l->count(); ++i)
        out << l->item(i)->text();
    return out;
}

QStringList listed() { return QDir("data", "*.nbc").entryList(QDir::Files, QDir::NoSort); }

// Names in the order the dialog lists the files.
QStringList namesInOrder()
{
    QStringList out;
    for (const QString& f : listed())
        out << nameIn(f);
    return out;
}

} // namespace

class TestContainersDialog : public QObject {
    Q_OBJECT

    std::unique_ptr<ScratchCwd> scratch;

    static QListWidget* list(QWidget* w) { return D::find<QListWidget>(w, "lstContainers"); }
    static bool press(QWidget* dlg, D& driver, const char* button)
    {
        D::click(dlg, button);
        return QTest::qWaitFor([&] { return driver.done(); }, 5000) && driver.errors.isEmpty();
    }

private slots:
    void init()
    {
        scratch = std::make_unique<ScratchCwd>();
        QVERIFY(scratch->ok());
    }
    void cleanup() { scratch.reset(); }

    // No containers: nothing to export or delete; delete all still asks.
    void empty()
    {
        QVERIFY(QDir("data").removeRecursively());
        ContainersDialog dlg;
        QVERIFY(QDir("data").exists()); // the listing makes it
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Управление контейнерами"));
        QCOMPARE(list(&dlg)->count(), 0);
        QVERIFY(!D::find<QPushButton>(&dlg, "btnExport")->isEnabled());
        QVERIFY(!D::find<QPushButton>(&dlg, "btnDelete")->isEnabled());
        D driver;
        driver.box(QMessageBox::No);
        QVERIFY(press(&dlg, driver, "btnDeleteAll"));
        QCOMPARE(driver.boxes[0].title, QStringLiteral("Удаление контейнера"));
        QCOMPARE(driver.boxes[0].text, QStringLiteral("Вы уверены, что хотите удалить все контейнеры?"));
    }

    // Each file by its display name with its file name and date as tip; a
    // file that does not read is listed as such and cannot be renamed.
    void listing()
    {
        makeNbc("a.nbc", "Перо");
        makeNbc("b.nbc", "Палец");
        QVERIFY(putBytes("data/c.nbc", "not a container"));
        ContainersDialog dlg;
        QListWidget* l = list(&dlg);
        QStringList expected = namesInOrder();
        expected.replaceInStrings("unreadable", "Повреждённый контейнер");
        QCOMPARE(shown(l), expected);
        QCOMPARE(l->currentRow(), 0);
        const int bad = listed().indexOf("c.nbc");
        QVERIFY(!(l->item(bad)->flags() & Qt::ItemIsEditable));
        QVERIFY(l->item(bad)->toolTip().startsWith("Имя: c.nbc\nДата:"));
        const int good = listed().indexOf("a.nbc");
        QVERIFY(l->item(good)->flags() & Qt::ItemIsEditable);
        QCOMPARE(l->item(good)->toolTip(),
                 "Имя: a.nbc\nДата:" + QFileInfo("data/a.nbc").lastModified().toString("dd.MM.yyyy hh:mm:ss"));
    }

    void validName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("valid");
        QTest::newRow("empty") << "" << true;
        QTest::newRow("20") << QString(20, 'x') << true;
        QTest::newRow("21") << QString(21, 'x') << false;
        QTest::newRow("cyrillic, digits, space") << "Моя ручка 2" << true;
        QTest::newRow("ё") << "Моё" << false;
        QTest::newRow("range space to underscore") << "Перо !#[^_-" << true;
        QTest::newRow("Ё") << "Ёж" << false;
        QTest::newRow("outside") << "pen`" << false;
    }
    void validName()
    {
        QFETCH(QString, name);
        QTEST(ContainersDialog::isValidName(name), "valid");
    }

    // Edited in place: a good name is stored in the file of the edited
    // item (not the current one); a bad one comes back with a warning; a
    // file that no longer reads is left unwritten.
    void rename_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("damaged");
        QTest::addColumn<QString>("box");
        QTest::newRow("good") << "Левое перо" << false << "";
        QTest::newRow("bad") << "Ёлка" << false << "Недопустимое имя контейнера";
        QTest::newRow("file damaged since") << "Левое перо" << true << "Невозможно прочитать биометрический контейнер";
    }
    void rename()
    {
        QFETCH(QString, typed);
        QFETCH(bool, damaged);
        QFETCH(QString, box);
        makeNbc("a.nbc", "Перо");
        makeNbc("b.nbc", "Палец");
        ContainersDialog dlg;
        dlg.show();
        QListWidget* l = list(&dlg);
        const int row = listed().indexOf("b.nbc");
        l->setCurrentRow(1 - row);
        if (damaged)
            QVERIFY(putBytes("data/b.nbc", "damaged"));
        const QByteArray before = fileBytes("data/b.nbc");
        D driver;
        if (!box.isEmpty())
            driver.box();
        l->editItem(l->item(row));
        QPointer<QLineEdit> editor = l->viewport()->findChild<QLineEdit*>();
        QVERIFY(editor);
        editor->selectAll();
        D::keys(editor, typed);
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_VERIFY(driver.done() && !editor);
        QVERIFY2(driver.errors.isEmpty(), qPrintable(driver.errors.join('\n')));
        QCOMPARE(driver.boxes.value(0).text, box.isEmpty() ? QString() : box);
        QCOMPARE(l->item(row)->text(), box.isEmpty() ? typed : QStringLiteral("Палец"));
        if (box.isEmpty())
            QCOMPARE(nameIn("b.nbc"), typed);
        else
            QCOMPARE(fileBytes("data/b.nbc"), before);
        QCOMPARE(nameIn("a.nbc"), QStringLiteral("Перо"));
        QCOMPARE(driver.boxes.size(), box.isEmpty() ? 0 : 1); // once, not again for the name put back
    }

    // A container is copied in under a fresh identifier, once per import;
    // a file that is no container is refused with the reason.
    void import()
    {
        makeNbc("a.nbc", "Перо");
        const QString outside = QDir::current().absoluteFilePath("pen.nbc");
        QVERIFY(QFile::copy("data/a.nbc", outside));
        QVERIFY(putBytes("junk.nbc", "junk"));
        ContainersDialog dlg;
        dlg.show();
        D driver;
        driver.file(outside);
        QVERIFY(press(&dlg, driver, "btnImport"));
        driver.file(outside);
        QVERIFY(press(&dlg, driver, "btnImport"));
        driver.file(QDir::current().absoluteFilePath("junk.nbc")).box();
        QVERIFY(press(&dlg, driver, "btnImport"));
        QCOMPARE(driver.files[0].mid(0, 2), (QStringList{"Выберите файл с биометрическим контейнером", "Nbc (*.nbc)"}));
        QCOMPARE(driver.boxes.value(0).title, QStringLiteral("Ошибка"));
        QCOMPARE(shown(list(&dlg)), (QStringList{"Перо", "Перо", "Перо"}));
        const QStringList files = listed();
        QCOMPARE(files.size(), 3);
        for (const QString& f : files)
            QVERIFY(f == "a.nbc" || !QUuid(f.chopped(4)).isNull());
    }

    // The current container is copied out; an existing file stays.
    void exportCurrent()
    {
        makeNbc("a.nbc", "Перо");
        const QString target = QDir::current().absoluteFilePath("out.nbc");
        ContainersDialog dlg;
        dlg.show();
        D driver;
        driver.file(target);
        QVERIFY(press(&dlg, driver, "btnExport"));
        QCOMPARE(driver.files[0].mid(0, 2),
                 (QStringList{"Выберите файл для сохранения биометрического контейнера", "Nbc (*.nbc)"}));
        QCOMPARE(fileBytes(target), fileBytes("data/a.nbc"));
        QVERIFY(putBytes(target, "older"));
        driver.file(target).box(QMessageBox::Yes).box();
        QVERIFY(press(&dlg, driver, "btnExport"));
        QCOMPARE(driver.boxes.value(1).text, QStringLiteral("Не удалось экспортировать биометрический контейнер."));
        QCOMPARE(fileBytes(target), QByteArray("older"));
    }

    // By button, then by the Delete key in the list: the current file goes
    // after a Yes, row 0 is current again; No keeps it; delete all empties.
    void deleting()
    {
        makeNbc("a.nbc", "Перо");
        makeNbc("b.nbc", "Палец");
        makeNbc("c.nbc", "Ладонь");
        ContainersDialog dlg;
        dlg.show();
        QListWidget* l = list(&dlg);
        l->setCurrentRow(1);
        const QString second = listed().at(1);
        D driver;
        driver.box(QMessageBox::No);
        QVERIFY(press(&dlg, driver, "btnDelete"));
        QCOMPARE(listed().size(), 3);
        driver.box(QMessageBox::Yes);
        QVERIFY(press(&dlg, driver, "btnDelete"));
        QCOMPARE(driver.boxes[1].text, QStringLiteral("Вы уверены, что хотите удалить контейнер?"));
        QVERIFY(!listed().contains(second));
        QCOMPARE(l->count(), 2);
        QCOMPARE(l->currentRow(), 0);
        driver.box(QMessageBox::Yes);
        QApplication::setActiveWindow(&dlg);
        l->setFocus();
        QTest::keyClick(l, Qt::Key_Delete);
        QTRY_VERIFY(driver.done());
        QCOMPARE(listed().size(), 1);
        driver.box(QMessageBox::Yes);
        QVERIFY(press(&dlg, driver, "btnDeleteAll"));
        QVERIFY(listed().isEmpty());
        QCOMPARE(l->count(), 0);
        QVERIFY(!D::find<QPushButton>(&dlg, "btnDelete")->isEnabled());
        QVERIFY2(driver.errors.isEmpty(), qPrintable(driver.errors.join('\n')));
    }

    // Over an item: rename, export, a separator, delete; over empty space
    // nothing opens.
    void contextMenu()
    {
        makeNbc("a.nbc", "Перо");
        ContainersDialog dlg;
        dlg.resize(274, 306);
        dlg.show();
        QListWidget* l = list(&dlg);
        QStringList entries;
        D driver;
        driver.on("QMenu", [&](QWidget* w) {
            for (QAction* a : w->actions())
                entries << (a->isSeparator() ? QStringLiteral("|") : a->text());
            static_cast<QMenu*>(w)->close();
        });
        emit l->customContextMenuRequested(l->visualItemRect(l->item(0)).center());
        QTRY_VERIFY(driver.done());
        QCOMPARE(entries, (QStringList{"Переименовать", "Экспортировать", "|", "Удалить"}));
        emit l->customContextMenuRequested(QPoint(5, l->viewport()->height() - 5));
        QTest::qWait(50);
        QVERIFY(!QApplication::activePopupWidget());
        QVERIFY2(driver.errors.isEmpty(), qPrintable(driver.errors.join('\n')));
    }
};

QTEST_MAIN(TestContainersDialog)
#include "tst_containersdialog.moc"
