#include "varnex/interface/icondlg.h"
#include "varnex/interface/icontable.h"

#include "DebugCapture.h"

#include <QDialogButtonBox>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

namespace {

QImage picture(const QIcon& icon)
{
    return icon.pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32);
}

const QStringList kTable = {
    ":/32/oxygen/folders/car", ":/32/oxygen/folders/bank", ":/32/oxygen/folders/wifi",
    ":/32/oxygen/folders/note", ":/32/oxygen/folders/lock", ":/32/oxygen/folders/computer",
    ":/32/oxygen/folders/icq", ":/32/oxygen/folders/periph", ":/32/oxygen/folders/cloud",
    ":/32/oxygen/folders/passport", ":/32/oxygen/folders/mail", ":/32/oxygen/folders/site",
    ":/32/oxygen/folders/server", ":/32/oxygen/folders/forum", ":/32/oxygen/folders/user",
    ":/32/cabinets/logo_mail_ru", ":/32/cabinets/logo_gmail", ":/32/cabinets/logo_gosuslugi",
    ":/32/cabinets/logo_odnoklassniki", ":/32/cabinets/logo_beeline", ":/32/cabinets/logo_vk",
};

// Runs the dialog modally; `drive` works on it once it shows.
template <typename F>
int runModal(QDialog& dlg, F drive)
{
    QTimer::singleShot(0, &dlg, drive);
    QTimer::singleShot(5000, &dlg, [&dlg] { dlg.done(-1); }); // never hang
    return dlg.exec();
}

} // namespace

class TestIconDlg : public QObject {
    Q_OBJECT

private slots:
    void table()
    {
        QCOMPARE(iconTable(), kTable);
        QCOMPARE(&iconTable(), &iconTable());
    }

    void form()
    {
        IconDlg dlg(nullptr);
        QCOMPARE(dlg.windowTitle(), QString("Сменить значок"));
        QVERIFY(!dlg.windowIcon().isNull());
        auto* list = dlg.findChild<QListWidget*>("listWidget_icons");
        QVERIFY(list);
        QCOMPARE(list->viewMode(), QListView::IconMode);
        QVERIFY(!list->isSelectionRectVisible());
        QCOMPARE(list->count(), 21);
        for (int row = 0; row < list->count(); ++row) {
            QListWidgetItem* item = list->item(row);
            QVERIFY(item->text().isEmpty());
            QVERIFY2(!item->icon().isNull(), qPrintable(kTable[row]));
            QCOMPARE(picture(item->icon()), picture(QIcon(kTable[row])));
        }
        QVERIFY(!list->currentItem());
        QCOMPARE(dlg.iconPath(), kTable.first());
        QCOMPARE(picture(dlg.icon()), picture(QIcon(kTable.first())));
        auto* box = dlg.findChild<QDialogButtonBox*>("buttonBox");
        QVERIFY(box && box->button(QDialogButtonBox::Ok) && box->button(QDialogButtonBox::Cancel));
    }

    void okAtOnceGivesTheFirstEntry()
    {
        IconDlg dlg(nullptr);
        auto* box = dlg.findChild<QDialogButtonBox*>("buttonBox");
        const int result = runModal(dlg, [&] {
            QTest::mouseClick(box->button(QDialogButtonBox::Ok), Qt::LeftButton);
        });
        QCOMPARE(result, int(QDialog::Accepted));
        QCOMPARE(dlg.iconPath(), QString(":/32/oxygen/folders/car"));
        QCOMPARE(picture(dlg.icon()), picture(QIcon(":/32/oxygen/folders/car")));
    }

    // A click on each item chooses that row's entry and picture.
    void clickChooses_data()
    {
        QTest::addColumn<int>("row");
        for (int row = 0; row < kTable.size(); ++row)
            QTest::newRow(qPrintable(kTable[row])) << row;
    }
    void clickChooses()
    {
        QFETCH(int, row);
        IconDlg dlg(nullptr);
        auto* list = dlg.findChild<QListWidget*>("listWidget_icons");
        auto* box = dlg.findChild<QDialogButtonBox*>("buttonBox");
        const int result = runModal(dlg, [&] {
            QListWidgetItem* item = list->item(row);
            list->scrollToItem(item);
            QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
                              list->visualItemRect(item).center());
            QTest::mouseClick(box->button(QDialogButtonBox::Ok), Qt::LeftButton);
        });
        QCOMPARE(result, int(QDialog::Accepted));
        QCOMPARE(dlg.iconPath(), kTable[row]);
        QCOMPARE(picture(dlg.icon()), picture(QIcon(kTable[row])));
    }

    void keyboardToTheLast()
    {
        IconDlg dlg(nullptr);
        auto* list = dlg.findChild<QListWidget*>("listWidget_icons");
        const int result = runModal(dlg, [&] {
            QTest::keyClick(list, Qt::Key_End);
            QTest::keyClick(list, Qt::Key_Return);
            dlg.accept();
        });
        QCOMPARE(result, int(QDialog::Accepted));
        QCOMPARE(dlg.iconPath(), QString(":/32/cabinets/logo_vk"));
    }

    void cancelRejects()
    {
        IconDlg dlg(nullptr);
        auto* list = dlg.findChild<QListWidget*>("listWidget_icons");
        auto* box = dlg.findChild<QDialogButtonBox*>("buttonBox");
        const int result = runModal(dlg, [&] {
            QTest::keyClick(list, Qt::Key_End);
            QTest::mouseClick(box->button(QDialogButtonBox::Cancel), Qt::LeftButton);
        });
        QCOMPARE(result, int(QDialog::Rejected));
        IconDlg esc(nullptr);
        QCOMPARE(runModal(esc, [&] { QTest::keyClick(&esc, Qt::Key_Escape); }), int(QDialog::Rejected));
    }

    // An item without picture, or no current item at all, never breaks the
    // choice.
    void hostileItems()
    {
        IconDlg dlg(nullptr);
        auto* list = dlg.findChild<QListWidget*>("listWidget_icons");
        list->setCurrentRow(5);
        QCOMPARE(dlg.iconPath(), kTable[5]);
        list->setCurrentItem(nullptr);
        QCOMPARE(dlg.iconPath(), kTable[5]);
        list->item(7)->setIcon(QIcon());
        list->setCurrentRow(7);
        QCOMPARE(dlg.iconPath(), kTable[7]);
        QVERIFY(dlg.icon().isNull());
        list->addItem(new QListWidgetItem(QIcon(":/32/oxygen/folders/bank"), QString()));
        list->setCurrentRow(21);
        QCOMPARE(dlg.iconPath(), kTable[7]);
        list->clear();
        QCOMPARE(dlg.iconPath(), kTable[7]);
    }

    void languageChangeRestoresTheFormTitle()
    {
        IconDlg dlg(nullptr);
        QEvent change(QEvent::LanguageChange);
        QApplication::sendEvent(&dlg, &change);
        QCOMPARE(dlg.windowTitle(), QString("Сменить значёк"));
    }

    void destructorIsReported()
    {
        DebugCapture capture;
        { IconDlg dlg(nullptr); }
        QVERIFY(capture.texts().contains("IconDlg::~IconDlg"));
    }
};

QTEST_MAIN(TestIconDlg)
#include "tst_icondlg.moc"
