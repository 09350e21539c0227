// The card base widget and the table-driven form, on a card of every editor
// kind: line, masked line, dates (one reaching back to 1900) and a text edit.

#include <QApplication>
#include <QCalendarWidget>
#include <QDialog>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <functional>

#include "tests/common/DebugCapture.h"
#include "varnex/interface/cards/cardform.h"
#include "varnex/interface/cards/patterncard.h"

namespace {

using namespace CardTable;

const Field testFields[] = {
    {"Логин", "lineEdit_login", Editor::Line, NoFlags, "label_login", "STR_LOGIN", 0, 1,
     {{"toolButton_url", nullptr, 1, 1, true}}},
    {"Код", "lineEdit_passw", Editor::Line, Latin | Masked, "label_passw", "STR_CODE", 2, 3,
     {{"toolButton_passw", ":/32/tango/buttons/keys", 3, 1}}},
    {"Действует до", "dateEdit_date", Editor::Date, NoFlags, "label_date", "STR_DATE", 4, 5,
     {{"toolButton_date", ":/32/oxygen/buttons/calendar", 5, 1}}},
    {"Дата рождения", "dateEdit_birth", Editor::Date, DateSince1900, "label_birth", "STR_BIRTH", 6, 7,
     {{"toolButton_birth", ":/32/oxygen/buttons/calendar", 7, 1}}},
    {"Текст заметки", "textEdit_note", Editor::Text, NoFlags, "label_note", "STR_NOTE", 8, 9,
     {{"toolButton_note", nullptr, 9, 1}}},
};
const char* const testTabs[] = {"toolButton_ico", "lineEdit_name", "scrollArea"};
const Form testForm = {"TestCard", "Тест", ":/32/oxygen/folders/note", 200, 400, 200, 250, 178, 378,
                       MainLayout::Box, "verticalLayout_main", "verticalLayout_scroll", "horizontalLayout_head",
                       2, -1, false, testFields, int(std::size(testFields)), testTabs, int(std::size(testTabs))};

QString u(const char* s) { return QString::fromUtf8(s); }
QString text(const QDate& d) { return d.toString("dd.MM.yyyy"); }

QTimer* onNextDialog(std::function<void(QWidget*)> act)
{
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        if (QWidget* dialog = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            act(dialog);
        }
    });
    timer->start();
    return timer;
}

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
    TestCard() : ui(new CardForm(testForm))
    {
        ui->setupUi(this);
        ui->init();
    }
    ~TestCard() override { delete ui; }
    void erase() override { ui->erase(); }
    bool setData(const FieldMap& map) override { return ui->setData(map); }
    FieldMap& getData() override { return ui->getData(); }
    void hideControls() override { ui->hideControls(); }
    template <class W>
    W* w(const char* name) { return findChild<W*>(name); }
    bool shown(const char* name) { return w<QWidget>(name)->isVisibleTo(this); }
    QDateEdit* date() { return w<QDateEdit>("dateEdit_date"); }

private slots:
    void on_toolButton_date_clicked() { pickDate(ui->dateEdit("dateEdit_date")); }

private:
    CardForm* ui;
};

class TestPatternCard : public QObject
{
    Q_OBJECT

private slots:
    void baseClass();
    void constructedReadOnly();
    void editableAndBack();
    void clearEditsLeavesTextEdits();
    void dateRoundTrip_data();
    void dateRoundTrip();
    void missingDateNotFromPreviousCard();
    void unreadableDateKept_data();
    void unreadableDateKept();
    void eraseStartsFromToday();
    void dateRanges();
    void pickDate();
    void textField();
};

void TestPatternCard::baseClass()
{
    DebugCapture capture;
    PatternCard card;
    QVERIFY(card.isReadOnly());
    FieldMap map;
    map.insert("a", "b");
    QVERIFY(card.setData(map));
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

void TestPatternCard::constructedReadOnly()
{
    TestCard card;
    for (const char* name : {"lineEdit_name", "lineEdit_descr", "lineEdit_login", "lineEdit_passw"})
        QVERIFY2(card.w<QLineEdit>(name)->isReadOnly(), name);
    QVERIFY(card.date()->isReadOnly());
    QVERIFY(!card.w<QTextEdit>("textEdit_note")->isReadOnly());  // text edits are not switched
    for (const char* name : {"toolButton_ico", "toolButton_passw", "toolButton_date", "toolButton_note"})
        QVERIFY2(!card.shown(name), name);
    QVERIFY(card.shown("toolButton_url"));
    QVERIFY(card.shown("label_ico"));
    QCOMPARE(card.w<QLineEdit>("lineEdit_passw")->echoMode(), QLineEdit::Password);
    QCOMPARE(card.date()->displayFormat(), QString("dd.MM.yyyy"));
}

void TestPatternCard::editableAndBack()
{
    TestCard card;
    card.setData(FieldMap());
    QVERIFY(!card.shown("lineEdit_login"));
    QVERIFY(!card.shown("toolButton_url"));
    QVERIFY(!card.shown("textEdit_note"));
    DebugCapture capture;
    card.setReadOnly(false);
    QVERIFY(capture.texts().contains("\"toolButton_passw\""));
    QVERIFY(capture.texts().contains("\"toolButton_url\""));
    for (const char* name : {"lineEdit_login", "label_login", "dateEdit_date", "textEdit_note", "lineEdit_descr",
                             "toolButton_ico", "toolButton_passw", "toolButton_date"})
        QVERIFY2(card.shown(name), name);
    QVERIFY(!card.shown("toolButton_url"));
    QVERIFY(!card.shown("label_ico"));
    QVERIFY(!card.w<QLineEdit>("lineEdit_login")->isReadOnly());
    QVERIFY(!card.date()->isReadOnly());
    capture.clear();
    card.updateControls();
    QVERIFY(capture.texts().contains("PatternCard::updateControls() false"));

    card.setReadOnly(true);
    QVERIFY(card.shown("lineEdit_login"));
    QVERIFY(card.shown("toolButton_url"));
    QVERIFY(!card.shown("toolButton_passw"));
    QVERIFY(card.w<QLineEdit>("lineEdit_login")->isReadOnly());
}

void TestPatternCard::clearEditsLeavesTextEdits()
{
    TestCard card;
    FieldMap map;
    map.insert(u("Логин"), "l");
    map.insert(u("Текст заметки"), "t");
    map.insert(u("Действует до"), "01.02.2020");
    card.setData(map);
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
    FieldMap map;
    map.insert(key, stored);
    card.setData(map);
    QDateEdit* edit = card.w<QDateEdit>(key == u("Действует до") ? "dateEdit_date" : "dateEdit_birth");
    QCOMPARE(edit->date(), QDate::fromString(stored, "dd.MM.yyyy"));
    QCOMPARE(edit->text(), stored);
    card.setReadOnly(false);
    card.w<QLineEdit>("lineEdit_login")->setText("other edit");
    QCOMPARE(card.getData().value(key), stored);
}

void TestPatternCard::missingDateNotFromPreviousCard()
{
    TestCard card;
    FieldMap first;
    first.insert(u("Действует до"), "15.04.2005");
    card.setData(first);
    QSignalSpy spy(&card, &PatternCard::cardChanged);
    FieldMap second;
    second.insert(u("Название карточки"), "no date");
    card.setData(second);
    QVERIFY(!card.shown("dateEdit_date"));
    QCOMPARE(card.date()->text(), QString());
    QVERIFY(card.date()->date() != QDate(2005, 4, 15));
    FieldMap data = card.getData();
    QVERIFY(data.contains(u("Действует до")));
    QCOMPARE(data.value(u("Действует до")), QString());
    for (const QList<QVariant>& args : spy)
        QVERIFY(args.at(0).toBool());

    // Picking today's date on the empty edit enters it.
    card.setReadOnly(false);
    const QDate today = QDate::currentDate();
    onNextDialog([&](QWidget* dialog) { activate(dialog, today); });
    card.w<QToolButton>("toolButton_date")->click();
    QCOMPARE(card.getData().value(u("Действует до")), text(today));
}

void TestPatternCard::unreadableDateKept_data()
{
    QTest::addColumn<QString>("stored");
    QTest::newRow("iso") << "1985-03-07";
    QTest::newRow("no such day") << "31.02.2015";
    QTest::newRow("garbage") << u("99.99.9999 завтра");
    QTest::newRow("year 0") << "01.01.0000";
}

void TestPatternCard::unreadableDateKept()
{
    QFETCH(QString, stored);
    TestCard card;
    FieldMap dated;
    dated.insert(u("Действует до"), "01.01.2001");
    card.setData(dated);
    FieldMap map;
    map.insert(u("Действует до"), stored);
    map.insert(u("Дата рождения"), stored);
    card.setData(map);
    QVERIFY(card.shown("dateEdit_date"));  // the stored text is not empty
    QCOMPARE(card.date()->text(), QString());
    QCOMPARE(card.getData().value(u("Действует до")), stored);
    QCOMPARE(card.getData().value(u("Дата рождения")), stored);
}

void TestPatternCard::eraseStartsFromToday()
{
    TestCard card;
    FieldMap map;
    map.insert(u("Действует до"), "01.01.2001");
    map.insert(u("Логин"), "x");
    card.setData(map);
    card.erase();
    const FieldMap data = card.getData();
    QCOMPARE(data.value(u("Действует до")), text(QDate::currentDate()));
    QCOMPARE(data.value(u("Дата рождения")), text(QDate::currentDate()));
    QCOMPARE(data.value(u("Логин")), QString());
    QCOMPARE(data.value(u("Тип карточки")), u("Тест"));
    QCOMPARE(data.size(), 9);
}

void TestPatternCard::dateRanges()
{
    const QDate today = QDate::currentDate();
    TestCard card;
    QCOMPARE(card.date()->minimumDate(), today.addYears(-50));
    QCOMPARE(card.date()->maximumDate(), today.addYears(50));
    QCOMPARE(card.w<QDateEdit>("dateEdit_birth")->minimumDate(), QDate(1900, 1, 1));
    FieldMap old;
    old.insert(u("Действует до"), "01.01.1901");
    card.setData(old);
    FieldMap recent;
    recent.insert(u("Действует до"), "01.01.2020");
    card.setData(recent);
    QCOMPARE(card.date()->minimumDate(), today.addYears(-50));  // the old card widened it only for itself
    card.setReadOnly(false);
    card.date()->setDate(QDate(1901, 1, 1));
    QCOMPARE(card.date()->date(), today.addYears(-50));
}

void TestPatternCard::pickDate()
{
    TestCard card;
    card.setReadOnly(false);
    QSignalSpy spy(&card, &PatternCard::cardChanged);
    onNextDialog([](QWidget* dialog) { qobject_cast<QDialog*>(dialog)->reject(); });
    const QDate before = card.date()->date();
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
    card.erase();
    QCOMPARE(card.getData().value(u("Текст заметки")), QString());
}

QTEST_MAIN(TestPatternCard)
#include "tst_patterncard.moc"
