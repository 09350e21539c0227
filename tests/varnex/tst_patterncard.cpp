// The card base widget and the table-driven form, on a card of every editor
// kind: line, masked line, dates (one reaching back to 1900) and a text edit.

#include <QApplication>
#include <QCalendarWidget>
#include <QDialog>
#include <QSignalSpy>
#include <QTimer>
#include "ModalDriver.h"

#include <QtTest>

#include <functional>

#include "DebugCapture.h"
#include "varnex/interface/cards/cardform.h"
#include "varnex/interface/cards/patterncard.h"

namespace {

using namespace CardTable;

const Field testFields[] = {
    {"Логин", "lineEdit_login", Editor::Line, NoFlags, "label_login", "STR_LOGIN", 0, 1,
     {{"toolButton_url", nullptr, 1, 1, Action::OpenUrl, true}}},
    {"Код", "lineEdit_passw", Editor::Line, Latin | Masked, "label_passw", "STR_CODE", 2, 3,
     {{"toolButton_passw", keysIcon, 3, 1, Action::Password}}},
    {"Действует до", "dateEdit_date", Editor::Date, NoFlags, "label_date", "STR_DATE", 4, 5,
     {{"toolButton_date", calendarIcon, 5, 1, Action::Date}}},
    {"Дата рождения", "dateEdit_birth", Editor::Date, DateSince1900, "label_birth", "STR_BIRTH", 6, 7,
     {{"toolButton_birth", calendarIcon, 7, 1, Action::Date}}},
    {"Текст заметки", "textEdit_note", Editor::Text, NoFlags, "label_note", "STR_NOTE", 8, 9,
     {{"toolButton_note", nullptr, 9, 1}}},
};
const char* const testTabs[] = {"toolButton_ico", "lineEdit_name", "scrollArea"};
const Form testForm = {"TestCard", "Тест", ":/32/oxygen/folders/note", 200, 400, 200, 250, 178, 378,
                       MainLayout::Box, "verticalLayout_main", "verticalLayout_scroll", "horizontalLayout_head",
                       2, -1, false, testFields, int(std::size(testFields)), testTabs, int(std::size(testTabs))};

QString u(const char* s) { return QString::fromUtf8(s); }
QString text(const QDate& d) { return d.toString("dd.MM.yyyy"); }


void activate(QWidget* dialog, const QDate& date)
{
    auto* calendar = dialog->findChild<QCalendarWidget*>("calendarWidget");
    calendar->setSelectedDate(date);
    QMetaObject::invokeMethod(calendar, "activated", Q_ARG(QDate, date));
}

} // namespace

class TestCard : public PatternCard
{
    Q_OBJECT
public:
    TestCard() : PatternCard(testForm, nullptr) {}
    template <class W>
    W* w(const char* name) { return findChild<W*>(name); }
    bool shown(const char* name) { return w<QWidget>(name)->isVisibleTo(this); }
    QDateEdit* date() { return w<QDateEdit>("dateEdit_date"); }
};

class TestPatternCard : public QObject
{
    Q_OBJECT

private slots:
    void baseClass();
    void states();
    void dateRoundTrip_data();
    void dateRoundTrip();
    void undatedKeptAsStored_data();
    void undatedKeptAsStored();
    void undatedSurvivesFocus();
    void eraseAndRanges();
    void pickDate();
    void textField();
};

void TestPatternCard::baseClass()
{
    DebugCapture capture;
    PatternCard card;
    QVERIFY(card.isReadOnly());
    QVERIFY(card.setData(FieldMap{{"a", "b"}}));
    QCOMPARE(card.getData(), FieldMap());
    QCOMPARE(&card.getData(), &card.getData());
    card.getData().insert("kept", "x");
    card.setReadOnly(false);
    card.erase();
    QVERIFY(card.isReadOnly());
    QCOMPARE(card.getData(), FieldMap());
    card.hideControls();
    card.updateControls();
    const QStringList texts = capture.texts();
    for (const char* t : {"PatternCard::setData", "PatternCard::getData", "PatternCard::erase",
                          "PatternCard::hideControls()", "PatternCard::isReadOnly",
                          "PatternCard::updateControls() true"})
        QVERIFY2(texts.contains(t), t);
}

void TestPatternCard::states()
{
    TestCard card;
    for (const char* name : {"lineEdit_name", "lineEdit_descr", "lineEdit_login", "lineEdit_passw"})
        QVERIFY2(card.w<QLineEdit>(name)->isReadOnly(), name);
    QVERIFY(card.date()->isReadOnly());
    QVERIFY(card.w<QTextEdit>("textEdit_note")->isReadOnly());
    for (const char* name : {"toolButton_ico", "toolButton_passw", "toolButton_date", "toolButton_note"})
        QVERIFY2(!card.shown(name), name);
    QVERIFY(card.shown("toolButton_url") && card.shown("label_ico"));

    card.setData(FieldMap());
    QVERIFY(!card.shown("lineEdit_login") && !card.shown("toolButton_url") && !card.shown("textEdit_note"));
    DebugCapture capture;
    card.setReadOnly(false);
    QVERIFY(capture.texts().contains("\"toolButton_passw\""));
    for (const char* name : {"lineEdit_login", "label_login", "dateEdit_date", "textEdit_note", "lineEdit_descr",
                             "toolButton_ico", "toolButton_passw", "toolButton_date"})
        QVERIFY2(card.shown(name), name);
    QVERIFY(!card.shown("toolButton_url") && !card.shown("label_ico"));
    QVERIFY(!card.w<QLineEdit>("lineEdit_login")->isReadOnly() && !card.date()->isReadOnly());
    QVERIFY(!card.w<QTextEdit>("textEdit_note")->isReadOnly());
    card.updateControls();
    QVERIFY(capture.texts().contains("PatternCard::updateControls() false"));

    card.setReadOnly(true);  // nothing is hidden until the next fill
    QVERIFY(card.shown("lineEdit_login") && card.shown("toolButton_url") && !card.shown("toolButton_passw"));
    QVERIFY(card.w<QLineEdit>("lineEdit_login")->isReadOnly());

    card.w<QTextEdit>("textEdit_note")->setPlainText("t");
    card.w<QLineEdit>("lineEdit_login")->setText("l");
    card.clearEdits(&card);
    QCOMPARE(card.w<QLineEdit>("lineEdit_login")->text(), QString());
    QCOMPARE(card.date()->text(), QString());
    QCOMPARE(card.w<QTextEdit>("textEdit_note")->toPlainText(), QString("t"));
}

void TestPatternCard::dateRoundTrip_data()
{
    const QDate today = QDate::currentDate();
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("stored");
    QTest::newRow("in range") << u("Действует до") << "31.12.2015";
    QTest::newRow("leap day") << u("Действует до") << "29.02.2024";
    QTest::newRow("before the range") << u("Действует до") << text(today.addYears(-60));
    QTest::newRow("after the range") << u("Действует до") << text(today.addYears(70));
    QTest::newRow("birth 1900") << u("Дата рождения") << "01.01.1900";
    QTest::newRow("birth 1899") << u("Дата рождения") << "31.12.1899";
}

void TestPatternCard::dateRoundTrip()
{
    QFETCH(QString, key);
    QFETCH(QString, stored);
    TestCard card;
    card.setData(FieldMap{{key, stored}});
    QDateEdit* edit = card.w<QDateEdit>(key == u("Действует до") ? "dateEdit_date" : "dateEdit_birth");
    QCOMPARE(edit->date(), QDate::fromString(stored, "dd.MM.yyyy"));
    QCOMPARE(edit->text(), stored);
    card.setReadOnly(false);
    card.w<QLineEdit>("lineEdit_login")->setText("other edit");
    QCOMPARE(card.getData().value(key), stored);
}

void TestPatternCard::undatedKeptAsStored_data()
{
    QTest::addColumn<bool>("present");
    QTest::addColumn<QString>("stored");
    QTest::newRow("missing") << false << "";
    QTest::newRow("empty") << true << "";
    QTest::newRow("iso") << true << "1985-03-07";
    QTest::newRow("no such day") << true << "31.02.2015";
    QTest::newRow("garbage") << true << u("99.99.9999 завтра");
    QTest::newRow("year 0") << true << "01.01.0000";
}

void TestPatternCard::undatedKeptAsStored()
{
    QFETCH(bool, present);
    QFETCH(QString, stored);
    TestCard card;
    card.setData(FieldMap{{u("Действует до"), "15.04.2005"}});
    FieldMap map{{u("Название карточки"), "undated"}};
    if (present)
        map.insert(u("Действует до"), stored);
    card.setData(map);
    QCOMPARE(card.shown("dateEdit_date"), !stored.isEmpty());
    QCOMPARE(card.date()->text().trimmed(), QString());  // not the previous card's date
    QVERIFY(card.date()->date() != QDate(2005, 4, 15));
    QVERIFY(card.getData().contains(u("Действует до")));
    QCOMPARE(card.getData().value(u("Действует до")), stored);

    // Picking a date on the empty edit enters it, today's date too.
    card.setReadOnly(false);
    const QDate today = QDate::currentDate();
    onNextDialog([&](QWidget* dialog) { activate(dialog, today); });
    card.w<QToolButton>("toolButton_date")->click();
    QCOMPARE(card.getData().value(u("Действует до")), text(today));
}

void TestPatternCard::undatedSurvivesFocus()
{
    TestCard card;
    card.show();
    QVERIFY(QTest::qWaitForWindowActive(&card));
    const QString stored = "1985-03-07";
    card.setData(FieldMap{{u("Действует до"), stored}});
    QLineEdit* name = card.w<QLineEdit>("lineEdit_name");
    for (bool readOnly : {true, false}) {  // clicked in the view, tabbed through while editing
        card.setReadOnly(readOnly);
        card.date()->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(card.date()->hasFocus());
        name->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(name->hasFocus());
        QCOMPARE(card.date()->text().trimmed(), QString());
        QCOMPARE(card.getData().value(u("Действует до")), stored);
    }

    // A date typed into the blank is entered; a step from the blank shows today.
    QTest::keyClicks(card.date(), "15042005");
    QCOMPARE(card.getData().value(u("Действует до")), QString("15.04.2005"));
    card.setData(FieldMap{{u("Действует до"), stored}});
    QTest::keyClick(card.date(), Qt::Key_Up);
    QCOMPARE(card.getData().value(u("Действует до")), text(QDate::currentDate()));

    // The earliest date on offer is a date entered like any other.
    const QDate earliest = QDate::currentDate().addYears(-50);
    onNextDialog([&](QWidget* dialog) { activate(dialog, earliest); });
    card.w<QToolButton>("toolButton_date")->click();
    QCOMPARE(card.getData().value(u("Действует до")), text(earliest));
    card.setData(FieldMap{{u("Действует до"), "31.12.2015"}});  // a readable date ends the blank
    QVERIFY(card.date()->specialValueText().isEmpty());
    QCOMPARE(card.date()->minimumDate(), QDate::currentDate().addYears(-50));
}

void TestPatternCard::eraseAndRanges()
{
    const QDate today = QDate::currentDate();
    TestCard card;
    QCOMPARE(card.date()->minimumDate(), today.addYears(-50));
    QCOMPARE(card.date()->maximumDate(), today.addYears(50));
    QCOMPARE(card.w<QDateEdit>("dateEdit_birth")->minimumDate(), QDate(1900, 1, 1));
    card.setData(FieldMap{{u("Действует до"), "01.01.1901"}, {u("Логин"), "x"}});
    card.erase();  // a new card starts from today, not from the previous card's date
    const FieldMap data = card.getData();
    QCOMPARE(data.value(u("Действует до")), text(today));
    QCOMPARE(data.value(u("Дата рождения")), text(today));
    QCOMPARE(data.value(u("Логин")), QString());
    QCOMPARE(data.value(u("Тип карточки")), u("Тест"));
    QCOMPARE(data.size(), 9);
    QCOMPARE(card.date()->minimumDate(), today.addYears(-50));  // widened for the old card only
}

void TestPatternCard::pickDate()
{
    TestCard card;
    card.setReadOnly(false);
    QSignalSpy spy(&card, &PatternCard::cardChanged);
    const QDate before = card.date()->date();
    onNextDialog([](QWidget* dialog) { qobject_cast<QDialog*>(dialog)->reject(); });
    card.w<QToolButton>("toolButton_date")->click();
    QCOMPARE(card.date()->date(), before);
    QCOMPARE(spy.count(), 0);

    const QDate chosen = QDate::currentDate().addDays(-400);
    onNextDialog([&](QWidget* dialog) {
        QCOMPARE(dialog->parentWidget(), &card);
        activate(dialog, chosen);
    });
    card.w<QToolButton>("toolButton_date")->click();
    QCOMPARE(card.date()->date(), chosen);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(card.getData().value(u("Действует до")), text(chosen));
}

void TestPatternCard::textField()
{
    TestCard card;
    QSignalSpy spy(&card, &PatternCard::cardChanged);
    FieldMap map;
    map.insert(u("Текст заметки"), "<b>bold</b> &amp;\nline two\n\nline four");
    card.setData(map);
    QVERIFY(spy.count() >= 1);
    QCOMPARE(card.w<QTextEdit>("textEdit_note")->toPlainText(), map.value(u("Текст заметки")));
    QCOMPARE(card.getData().value(u("Текст заметки")), map.value(u("Текст заметки")));
    QVERIFY(card.shown("textEdit_note"));
    const QString edited = u("правка\u00a0с неразрывным пробелом\nи строкой");  // kept as typed
    card.w<QTextEdit>("textEdit_note")->setPlainText(edited);
    QCOMPARE(card.getData().value(u("Текст заметки")), edited);
    card.erase();
    QCOMPARE(card.getData().value(u("Текст заметки")), QString());
}

QTEST_MAIN(TestPatternCard)
#include "tst_patterncard.moc"
