// The container manager through its widgets: listing (unreadable files
// included), names edited in place, import, export, the Delete key and
// deleting all. Its delete button is on the road of tst_biometricroad.

#include "ModalDriver.h"
#include "TestFiles.h"
#include "nb-cpp/Nbc.h"
#include "varnex/interface/ContainersDialog.h"

#include <QListWidget>
#include <QtTest>

#include <memory>

using D = ModalDriver;

namespace {

void makeNbc(const QString& file, const QString& name)
{
    Nbc nbc;
    nbc.setName(name);
    nbc.writeFile("data/" + file);
}

QString nameIn(const QString& file)
{
    Nbc nbc;
    try {
        nbc.readFile("data/" + file);
    } catch (...) {
        return "Повреждённый контейнер";
    }
    return nbc.name();
}

QStringList listed() { return QDir("data", "*.nbc").entryList(QDir::Files, QDir::NoSort); }

} // namespace

class TestContainersDialog : public QObject {
    Q_OBJECT

    std::unique_ptr<ScratchCwd> scratch;

    static QListWidget* list(QWidget* w) { return D::find<QListWidget>(w, "lstContainers"); }

private slots:
    void init()
    {
        scratch = std::make_unique<ScratchCwd>();
        QVERIFY(scratch->ok());
        makeNbc("a.nbc", "Перо");
        makeNbc("b.nbc", "Палец");
    }
    void cleanup() { scratch.reset(); }

    // By display name, with the file name and date as tip; a file that does
    // not read is listed as such and cannot be renamed.
    void listing()
    {
        QVERIFY(putBytes("data/c.nbc", "not a container"));
        ContainersDialog dlg;
        QListWidget* l = list(&dlg);
        QCOMPARE(l->count(), 3);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(l->item(i)->text(), nameIn(listed().at(i)));
        QCOMPARE(l->currentRow(), 0);
        QVERIFY(!(l->item(listed().indexOf("c.nbc"))->flags() & Qt::ItemIsEditable));
        QCOMPARE(l->item(listed().indexOf("a.nbc"))->toolTip(),
                 "Имя: a.nbc\nДата:" + QFileInfo("data/a.nbc").lastModified().toString("dd.MM.yyyy hh:mm:ss"));
    }

    // The file of the edited item (not the current one) gets a name within
    // the pattern ("А-Я" leaves out "Ё", " -_" is a range); a bad name, or a
    // file that no longer reads, is put back with one message, unwritten.
    void rename_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("damaged");
        QTest::addColumn<QString>("box");
        QTest::newRow("cyrillic, digits, space to underscore") << "Левое перо 2!#[^_-" << false << "";
        QTest::newRow("empty") << "" << false << "";
        QTest::newRow("ё") << "Ёлка" << false << "Недопустимое имя контейнера";
        QTest::newRow("21") << QString(21, 'x') << false << "Недопустимое имя контейнера";
        QTest::newRow("beyond underscore") << "pen`" << false << "Недопустимое имя контейнера";
        QTest::newRow("damaged since") << "Левое перо" << true << "Невозможно прочитать биометрический контейнер";
    }
    void rename()
    {
        QFETCH(QString, typed);
        QFETCH(bool, damaged);
        QFETCH(QString, box);
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
        QTest::keyClick(editor, Qt::Key_Delete);
        D::keys(editor, typed);
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_VERIFY(driver.done() && !editor);
        QVERIFY(driver.errors.isEmpty());
        QCOMPARE(driver.boxes.size(), box.isEmpty() ? 0 : 1);
        QCOMPARE(driver.boxes.value(0).text, box.isEmpty() ? QString() : box);
        QCOMPARE(l->item(row)->text(), box.isEmpty() ? typed : QStringLiteral("Палец"));
        if (box.isEmpty())
            QCOMPARE(nameIn("b.nbc"), typed);
        else
            QCOMPARE(fileBytes("data/b.nbc"), before);
        QCOMPARE(nameIn("a.nbc"), QStringLiteral("Перо"));
    }

    // Copied in under a fresh identifier, once per import; a file that is
    // no container is refused with the reason. Copied out.
    void importExport()
    {
        const QString outside = QDir::current().absoluteFilePath("pen.nbc");
        QVERIFY(QFile::copy("data/a.nbc", outside) && putBytes("junk.nbc", "junk"));
        ContainersDialog dlg;
        dlg.show();
        D driver;
        for (const QString file : {"pen.nbc", "pen.nbc", "junk.nbc"}) {
            driver.file(QDir::current().absoluteFilePath(file));
            if (file == "junk.nbc")
                driver.box();
            QVERIFY(driver.press(&dlg, "btnImport"));
        }
        QCOMPARE(driver.boxes[0].title, QStringLiteral("Ошибка"));
        QCOMPARE(driver.files[0].value(1), QStringLiteral("Nbc (*.nbc)"));
        QCOMPARE(list(&dlg)->count(), 4);
        for (const QString& f : listed())
            QVERIFY(f.size() == 5 || (!QUuid(f.chopped(4)).isNull() && fileBytes("data/" + f) == fileBytes(outside)));
        driver.file(QDir::current().absoluteFilePath("out.nbc"));
        QVERIFY(driver.press(&dlg, "btnExport"));
        QCOMPARE(fileBytes("out.nbc"), fileBytes("data/" + listed().at(0)));
    }

    // The Delete key in the list removes the current container (row 0 is
    // current again), "Удалить всё" the rest; an empty list leaves nothing
    // to export or delete.
    void deleting()
    {
        ContainersDialog dlg;
        dlg.show();
        QListWidget* l = list(&dlg);
        const QString kept = listed().at(0);
        l->setCurrentRow(1);
        QApplication::setActiveWindow(&dlg); // shortcuts act in the active window only
        l->setFocus();
        D driver;
        driver.box(QMessageBox::Yes).box(QMessageBox::Yes);
        QTest::keyClick(l, Qt::Key_Delete);
        QTRY_COMPARE(driver.pending(), 1);
        QCOMPARE(listed(), QStringList{kept});
        QCOMPARE(l->currentRow(), 0);
        QVERIFY(driver.press(&dlg, "btnDeleteAll"));
        QCOMPARE(driver.boxes[1].title, QStringLiteral("Удаление контейнера"));
        QCOMPARE(driver.boxes[1].text, QStringLiteral("Вы уверены, что хотите удалить все контейнеры?"));
        QVERIFY(listed().isEmpty() && l->count() == 0);
        QVERIFY(!D::find<QWidget>(&dlg, "btnExport")->isEnabled() && !D::find<QWidget>(&dlg, "btnDelete")->isEnabled());
    }
};

QTEST_MAIN(TestContainersDialog)
#include "tst_containersdialog.moc"
