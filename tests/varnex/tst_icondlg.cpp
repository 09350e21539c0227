#include "varnex/interface/icondlg.h"
#include "varnex/interface/icontable.h"

#include "DebugCapture.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QVBoxLayout>
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

QPushButton* button(QDialog& dlg, QDialogButtonBox::StandardButton which)
{
    return dlg.findChild<QDialogButtonBox*>("buttonBox")->button(which);
}

} // namespace

class TestIconDlg : public QObject {
    Q_OBJECT

private slots:
    void listShowsTheTableInOrder()
    {
        QCOMPARE(iconTable(), kTable);
        IconDlg dlg(nullptr);
        QCOMPARE(dlg.windowTitle(), QString("Сменить значок"));
        QVERIFY(!dlg.windowIcon().isNull());
        auto* list = dlg.findChild<QListWidget*>("listWidget_icons");
        QCOMPARE(list->viewMode(), QListView::IconMode);
        QCOMPARE(list->count(), kTable.size());
        for (int row = 0; row < list->count(); ++row) {
            QVERIFY(list->item(row)->text().isEmpty());
            QVERIFY2(!list->item(row)->icon().isNull(), qPrintable(kTable[row]));
            QCOMPARE(picture(list->item(row)->icon()), picture(QIcon(kTable[row])));
        }
        QVERIFY(!list->currentItem());
    }

    void form()
    {
        IconDlg dlg(nullptr);
        QCOMPARE(dlg.size(), QSize(276, 241));
        QCOMPARE(picture(dlg.windowIcon()), picture(QIcon(":/icons/main-icon")));
        auto* grid = dlg.findChild<QGridLayout*>("gridLayout");
        auto* column = dlg.findChild<QVBoxLayout*>("verticalLayout");
        auto* list = dlg.findChild<QListWidget*>("listWidget_icons");
        auto* box = dlg.findChild<QDialogButtonBox*>("buttonBox");
        QVERIFY(grid && column && list && box);
        QCOMPARE(grid->itemAtPosition(0, 0)->layout(), column);
        QCOMPARE(column->indexOf(list), 0);
        QCOMPARE(grid->itemAtPosition(1, 0)->widget(), box);
        QCOMPARE(list->textElideMode(), Qt::ElideRight);
        QVERIFY(list->lineWidth() == 1 && list->midLineWidth() == 0 && !list->isSelectionRectVisible());
        QCOMPARE(box->standardButtons(), QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
        QVERIFY(box->centerButtons() && box->orientation() == Qt::Horizontal);
        QCOMPARE(box->layoutDirection(), Qt::LeftToRight);
    }

    void okAtOnceGivesTheFirstEntry()
    {
        IconDlg dlg(nullptr);
        auto* list = dlg.findChild<QListWidget*>("listWidget_icons");
        int shownRow = -2;
        bool focused = false;
        const int result = runModal(dlg, [&] {
            QVERIFY(QTest::qWaitForWindowActive(&dlg));
            shownRow = list->currentRow();
            focused = list->hasFocus();
            QTest::mouseClick(button(dlg, QDialogButtonBox::Ok), Qt::LeftButton);
        });
        QCOMPARE(result, int(QDialog::Accepted));
        QVERIFY(focused); // shown, the list has the focus and its first item is current
        QCOMPARE(shownRow, 0);
        QCOMPARE(dlg.iconPath(), QString(":/32/oxygen/folders/car"));
        QCOMPARE(picture(dlg.icon()), picture(QIcon(":/32/oxygen/folders/car")));
    }

    // A click, or the keyboard, chooses that row's entry and picture.
    void choosing_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<bool>("byKeyboard");
        QTest::newRow("click passport") << 9 << false;
        QTest::newRow("click vk") << 20 << false;
        QTest::newRow("End key") << 20 << true;
    }
    void choosing()
    {
        QFETCH(int, row);
        QFETCH(bool, byKeyboard);
        IconDlg dlg(nullptr);
        auto* list = dlg.findChild<QListWidget*>("listWidget_icons");
        const int result = runModal(dlg, [&] {
            if (byKeyboard) {
                QTest::keyClick(list, Qt::Key_End);
            } else {
                list->scrollToItem(list->item(row));
                QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
                                  list->visualItemRect(list->item(row)).center());
            }
            QTest::mouseClick(button(dlg, QDialogButtonBox::Ok), Qt::LeftButton);
        });
        QCOMPARE(result, int(QDialog::Accepted));
        QCOMPARE(dlg.iconPath(), kTable[row]);
        QCOMPARE(picture(dlg.icon()), picture(QIcon(kTable[row])));
    }

    void cancelAndEscapeReject()
    {
        IconDlg dlg(nullptr);
        const int result = runModal(dlg, [&] {
            QTest::keyClick(dlg.findChild<QListWidget*>("listWidget_icons"), Qt::Key_End);
            QTest::mouseClick(button(dlg, QDialogButtonBox::Cancel), Qt::LeftButton);
        });
        QCOMPARE(result, int(QDialog::Rejected));
        IconDlg esc(nullptr);
        QCOMPARE(runModal(esc, [&] { QTest::keyClick(&esc, Qt::Key_Escape); }), int(QDialog::Rejected));
    }

    // No current item, an item without picture or one beyond the table never
    // breaks the choice.
    void hostileItems()
    {
        IconDlg dlg(nullptr);
        auto* list = dlg.findChild<QListWidget*>("listWidget_icons");
        list->setCurrentRow(5);
        list->setCurrentItem(nullptr);
        QCOMPARE(dlg.iconPath(), kTable[5]);
        list->item(7)->setIcon(QIcon());
        list->setCurrentRow(7);
        QVERIFY(dlg.iconPath() == kTable[7] && dlg.icon().isNull());
        list->addItem(new QListWidgetItem(QIcon(kTable[1]), QString()));
        list->setCurrentRow(21);
        list->clear();
        QCOMPARE(dlg.iconPath(), kTable[7]);
    }

    void languageChangeAndDestructor()
    {
        DebugCapture capture;
        {
            IconDlg dlg(nullptr);
            QEvent change(QEvent::LanguageChange);
            QApplication::sendEvent(&dlg, &change);
            QCOMPARE(dlg.windowTitle(), QString("Сменить значёк"));
        }
        QVERIFY(capture.texts().contains("IconDlg::~IconDlg"));
    }
};

QTEST_MAIN(TestIconDlg)
#include "tst_icondlg.moc"
