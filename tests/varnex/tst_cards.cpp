// The twelve card editors: what each writes, keeps and shows; the computer
// and account cards' own fields, buttons and texts.

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalSpy>
#include <QTimer>
#include <QUrl>
#include "ModalDriver.h"

#include <QtTest>

#include <functional>

#include "DebugCapture.h"
#include "varnex/interface/cards/cardbank.h"
#include "varnex/interface/cards/cardcar.h"
#include "varnex/interface/cards/cardcloud.h"
#include "varnex/interface/cards/cardcomputer.h"
#include "varnex/interface/cards/cardform.h"
#include "varnex/interface/cards/cardicq.h"
#include "varnex/interface/cards/cardlock.h"
#include "varnex/interface/cards/cardnote.h"
#include "varnex/interface/cards/cardpassport.h"
#include "varnex/interface/cards/cardperiph.h"
#include "varnex/interface/cards/cardserver.h"
#include "varnex/interface/cards/carduser.h"
#include "varnex/interface/cards/cardwifi.h"

namespace {

QString u(const char* s) { return QString::fromUtf8(s); }

// One card type: its own keys in field order, form size and
// layout names, and the body grid, rows split by ';' and columns by ','; a
// label cell carries the label's form text after '='.
struct Kind {
    const char* className;
    const char* typeName;
    const char* icon;
    std::function<PatternCard*()> make;
    QStringList ownKeys;
    QSize size, minSize;
    const char* layouts;  // main, scroll contents, head box
    const char* grid;
};

template <class T>
PatternCard* make() { return new T(nullptr); }

const QStringList commonKeys = {u("Тип карточки"), u("Иконка"), u("Название карточки"), u("Описание карточки")};
const char* const gridBox = "verticalLayout_main verticalLayout_scroll horizontalLayout_head";

// In the main window's order of creation.
const QList<Kind> kinds = {
    {"CardCar", "Автомобиль", "car", make<CardCar>,
     {u("Год выпуска"), u("Номерной знак"), u("Номер двигателя"), u("VIN"), u("Номер ОСАГО"), u("Телефон страховой"),
      u("Примечания")}, {200, 436}, {200, 250}, gridBox,
     "label_year=STR_CAR_YEAR;lineEdit_year;;label_gosnum=STR_CAR_GOSNUM;lineEdit_gosnum;"
     "label_motnum=STR_CAR_MOTNUM;lineEdit_motnum;label_vin=STR_CAR_VIN;lineEdit_vin;label_osago=STR_CAR_OSAGO;"
     "lineEdit_osago;label_tele=STR_CAR_TELE;lineEdit_tele;label_note=STR_CAR_NOTE;lineEdit_note,toolButton_note"},
    {"CardBank", "Банковская карта", "bank", make<CardBank>,
     {u("Название банка"), u("Номер карты"), u("Владелец"), u("Действует до"), u("CW"), u("PIN"), u("ИПН владельца"),
      u("Телефон банка"), u("WWW"), u("Данные договора"), u("Примечания")}, {200, 632}, {200, 250}, gridBox,
     "label_bank=Название банка;lineEdit_bank;label_num=Номер карты;lineEdit_num;label_user=Владелец;lineEdit_user;"
     "label_date=Действует до;dateEdit_date,toolButton_date;label_cw=CW;lineEdit_cw,toolButton_cw;label_pin=PIN;"
     "lineEdit_pin,toolButton_pin;label_ipn=ИПН владельца;lineEdit_ipn,toolButton_ipn;label_tele=Телефон банка;"
     "lineEdit_tele;label_www=WWW;lineEdit_www;label_info=Данные договора;lineEdit_info,toolButton_info;"
     "label_note=Примечания;lineEdit_note,toolButton_note"},
    {"CardWifi", "Беспроводное оборудование", "wifi", make<CardWifi>,
     {u("Имя устройства"), u("IP устройства"), u("Имя пользователя"), u("Пароль"), u("SSID"), u("Ключ"),
      u("Разрешённые МАСи"), u("Примечания")}, {200, 490}, {200, 250},
     "gridLayout_main verticalLayout_scroll horizontalLayout_head",
     "label_equip=STR_WIFI_EQUIP;lineEdit_equip;label_ip=STR_WIFI_IP;lineEdit_ip;label_login=STR_WIFI_LOGIN;"
     "lineEdit_login;label_passw=STR_WIFI_PASSW;lineEdit_passw,toolButton_passw;label_ssid=STR_WIFI_SSID;"
     "lineEdit_ssid;label_key=STR_WIFI_KEY;lineEdit_key,toolButton_key;label_mac=STR_WIFI_MAC;"
     "lineEdit_mac,toolButton_mac;label_note=STR_WIFI_NOTE;lineEdit_note,toolButton_note"},
    {"CardNote", "Заметки", "note", make<CardNote>, {u("Текст заметки")}, {200, 307}, {200, 150},
     "gridLayout_main verticalLayout_scroll horizontalLayout", "label_note=STR_NOTE_NOTE;lineEdit_note,toolButton_note"},
    {"CardLock", "Кодовый замок", "lock", make<CardLock>, {u("Код"), u("Примечания")}, {200, 200}, {200, 200},
     "gridLayout_main verticalLayout_scroll horizontalLayout_head",
     "label_passw=STR_LOCK_CODE;lineEdit_passw,toolButton_passw;label_note=STR_CAR_NOTE;lineEdit_note,toolButton_note"},
    {"CardComputer", "Компьютер", "computer", make<CardComputer>,
     {u("Имя пользователя"), u("Пароль"), u("Примечания")}, {200, 250}, {200, 250},
     "gridLayout_main verticalLayout_scroll horizontalLayout_head",
     "label_login=Имя пользователя;lineEdit_login;label_passw=Пароль;lineEdit_passw,toolButton_passw;"
     "label_note=Примечания;lineEdit_note,toolButton_note"},
    {"CardIcq", "Мессенджер", "icq", make<CardIcq>, {u("Идентификатор"), u("Пароль"), u("E-Mail"), u("Примечания")},
     {200, 284}, {200, 250}, "gridLayout verticalLayout_scroll horizontalLayout",
     "label_id=STR_ICQ_ID;lineEdit_id;label_passw=STR_CARD_PASSW;lineEdit_passw,toolButton_passw;"
     "label_mail=STR_CARD_MAIL;lineEdit_mail;label_note=STR_CAR_NOTE;lineEdit_note,toolButton_note"},
    {"CardPeriph", "Оборудование", "periph", make<CardPeriph>,
     {u("URL"), u("IP"), u("Имя пользователя"), u("Пароль"), u("Расположение"), u("Примечания")}, {200, 374},
     {200, 250}, "gridLayout_main verticalLayout_2 horizontalLayout_head",
     "label_url=STR_PERIPH_URL;lineEdit_url;label_ip=STR_PERIPH_IP;lineEdit_ip;label_login=STR_PERIPH_LOGIN;"
     "lineEdit_login;label_passw=STR_PERIPH_PASSW;lineEdit_passw,toolButton_passw;label_locat=STR_PERIPH_LOCAT;"
     "lineEdit_locat;label_note=STR_PERIPH_NOTE;lineEdit_note,toolButton_note"},
    {"CardCloud", "Онлайн хранилище", "cloud", make<CardCloud>,
     {u("URL"), u("Имя пользователя"), u("Пароль"), u("E-Mail"), u("Примечания")}, {200, 328}, {200, 250},
     "gridLayout_main verticalLayout_scroll horizontalLayout",
     "label_url=STR_CARD_URL;lineEdit_url;label_login=STR_CARD_LOGIN;lineEdit_login;label_passw=STR_CARD_PASSW;"
     "lineEdit_passw,toolButton_passw;label_mail=STR_CARD_MAIL;lineEdit_mail;label_note=STR_CAR_NOTE;"
     "lineEdit_note,toolButton_note"},
    {"CardPassport", "Паспорт", "passport", make<CardPassport>,
     {u("Фамилия, Имя, Отчество"), u("Дата рождения"), u("Место рождения"), u("Серия и Номер"), u("Кем выдан"),
      u("Когда выдан"), u("Примечания")}, {200, 419}, {200, 250}, "gridLayout_main verticalLayout_2 horizontalLayout",
     "label_fio=STR_PASSP_FIO;lineEdit_fio;label_date=STR_PASSP_DATE;dateEdit_date,toolButton_date;"
     "label_place=STR_PASSP_PLACE;lineEdit_place;label_ser=STR_PASSP_SER;lineEdit_ser;label_who=STR_PASSP_WHO;"
     "lineEdit_who;label_when=STR_PASSP_WHEN;dateEdit_when,toolButton_when;label_note=STR_PASSP_NOTE;"
     "lineEdit_note,toolButton_note"},
    {"CardUser", "Учётная запись", "user", make<CardUser>,
     {u("URL"), u("E-Mail"), u("Имя пользователя"), u("Пароль"), u("Примечания")}, {200, 327}, {200, 250},
     "gridLayout_main verticalLayout_scroll horizontalLayout_head",
     "label_url=STR_USER_URL;lineEdit_url,toolButton_url;label_mail=STR_USER_MAIL;lineEdit_mail;"
     "label_login=STR_USER_LOGIN;lineEdit_login;label_passw=STR_USER_PASSW;"
     "lineEdit_passw,toolButton_clipboard,toolButton_passw;label_note=STR_USER_NOTE;lineEdit_note,,toolButton_note"},
    {"CardServer", "Сервер", "server", make<CardServer>,
     {u("Имя пользователя"), u("Пароль"), u("Хост"), u("IP"), u("Примечания")}, {200, 330}, {200, 250},
     "gridLayout_main verticalLayout_scroll horizontalLayout_head",
     "label_login=STR_SERVER_LOGIN;lineEdit_login;label_passw=STR_SERVER_PASSW;lineEdit_passw,toolButton_passw;"
     "label_host=STR_SERVER_HOST;lineEdit_host;label_ip=STR_SERVER_IP;lineEdit_ip;label_note=STR_SERVER_NOTE;"
     "lineEdit_note,toolButton_note"},
};
const int note = 3, computer = 5, passport = 9, user = 10;

// Icons of the buttons beside fields, by the buttons' roles.
const QMap<QString, QString> buttonIcons = {
    {"toolButton_passw", ":/32/tango/buttons/keys"}, {"toolButton_cw", ":/32/tango/buttons/keys"},
    {"toolButton_pin", ":/32/tango/buttons/keys"}, {"toolButton_ipn", ":/32/tango/buttons/keys"},
    {"toolButton_key", ":/32/tango/buttons/keys"}, {"toolButton_note", ":/32/tango/buttons/mail-attachment"},
    {"toolButton_info", ":/32/tango/buttons/mail-attachment"}, {"toolButton_mac", ":/32/tango/buttons/mail-attachment"},
    {"toolButton_date", ":/32/oxygen/buttons/calendar"}, {"toolButton_when", ":/32/oxygen/buttons/calendar"},
    {"toolButton_url", ":/16/oxygen/buttons/internet"}, {"toolButton_clipboard", ":/16/oxygen/buttons/copy"},
};

struct Row {
    QString key, label, labelText, editor;
    QStringList buttons;  // columns 1 and 2, empty where none
    bool isDate() const { return editor.startsWith("dateEdit_"); }
    // The edit typing is limited in: the one the password generator fills.
    bool isLatin() const { return buttons.size() && buttonIcons.value(buttons.last()).endsWith("keys"); }
};

QList<Row> rowsOf(const Kind& k)
{
    QList<Row> rows;
    for (const QString& line : u(k.grid).split(';')) {
        const QStringList cells = line.split(',');
        if (cells[0].startsWith("label_"))
            rows << Row{k.ownKeys.value(rows.size()), cells[0].section('=', 0, 0), cells[0].section('=', 1), {}, {}};
        else if (!cells[0].isEmpty())
            rows.last().editor = cells[0], rows.last().buttons = cells.mid(1);
    }
    return rows;
}

void pressOk(QWidget* dialog)
{
    dialog->findChild<QDialogButtonBox*>("buttonBox")->button(QDialogButtonBox::Ok)->click();
}

void reject(QWidget* dialog) { qobject_cast<QDialog*>(dialog)->reject(); }

// Types text key by key, Cyrillic letters included.
void type(QWidget* widget, const QString& text)
{
    for (const QChar ch : text) {
        QKeyEvent press(QEvent::KeyPress, ch.toUpper().unicode(), Qt::NoModifier, QString(ch));
        QApplication::sendEvent(widget, &press);
    }
}

template <class W = QWidget>
W* child(QWidget* card, const QString& name)
{
    W* w = card->findChild<W*>(name);
    if (!w)
        qFatal("no widget %s", qPrintable(name));
    return w;
}

bool shown(QWidget* card, const QString& name) { return child(card, name)->isVisibleTo(card); }

bool sameIcon(const QIcon& icon, const QString& path)
{
    return !icon.isNull() && icon.pixmap(32).toImage() == QIcon(path).pixmap(32).toImage();
}

} // namespace

class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened << url; }
};

class TestCards : public QObject
{
    Q_OBJECT

private slots:
    void everyCard_data();
    void freshAndErased_data() { everyCard_data(); }
    void freshAndErased();
    void roundTripKeepsUnknownKeys_data() { everyCard_data(); }
    void roundTripKeepsUnknownKeys();
    void emptyMapEmptiesAndHides_data() { everyCard_data(); }
    void emptyMapEmptiesAndHides();
    void hiddenRowsComeBack_data() { everyCard_data(); }
    void hiddenRowsComeBack();
    void noUndoIntoNextCard_data() { everyCard_data(); }
    void noUndoIntoNextCard();
    void noteLineBreaks();
    void storeRoundTrip();
    void passwordEntry_data();
    void passwordEntry();
    void changesAreSignalled();
    void iconChooser();
    void copyButton();
    void urlButton_data();
    void urlButton();
    void languageChange_data() { everyCard_data(); }
    void languageChange();
    void form_data() { everyCard_data(); }
    void form();
};

void TestCards::everyCard_data()
{
    QTest::addColumn<int>("kind");
    for (int i = 0; i < kinds.size(); ++i)
        QTest::newRow(kinds[i].className) << i;
}

void TestCards::freshAndErased()
{
    QFETCH(int, kind);
    const Kind& k = kinds[kind];
    QScopedPointer<PatternCard> card(k.make());
    QCOMPARE(card->metaObject()->className(), k.className);
    QCOMPARE(card->objectName(), QString(k.className));
    QVERIFY(card->isReadOnly());
    QVERIFY(shown(card.data(), "label_ico") && !shown(card.data(), "toolButton_ico"));
    QVERIFY(!child<QLabel>(card.data(), "label_ico")->pixmap(Qt::ReturnByValue).isNull());
    for (QLineEdit* edit : card->findChildren<QLineEdit*>())
        QVERIFY(edit->isReadOnly());

    QStringList keys = commonKeys + k.ownKeys;
    keys.sort();
    const QString today = QDate::currentDate().toString("dd.MM.yyyy");
    for (int pass = 0; pass < 2; ++pass) {  // fresh, then erased after another card
        const FieldMap data = card->getData();
        QCOMPARE(data.keys(), keys);
        QCOMPARE(data.value(u("Тип карточки")), u(k.typeName));
        QCOMPARE(data.value(u("Иконка")), ":/32/oxygen/folders/" + QString(k.icon));
        QCOMPARE(data.value(u("Название карточки")) + data.value(u("Описание карточки")), QString());
        for (const Row& row : rowsOf(k))
            QCOMPARE(data.value(row.key), row.isDate() ? today : QString());
        FieldMap other{{u("Чужой ключ"), "x"}};
        for (const QString& key : keys)
            other.insert(key, "old");
        card->setData(other);
        card->setReadOnly(false);
        card->erase();
        QVERIFY(card->isReadOnly());
    }
}

void TestCards::roundTripKeepsUnknownKeys()
{
    QFETCH(int, kind);
    const Kind& k = kinds[kind];
    QScopedPointer<PatternCard> card(k.make());
    FieldMap map{{u("Тип карточки"), u("Сервер")},  // overwritten with the card's own type
                 {u("Иконка"), ":/32/cabinets/vk"},
                 {u("Название карточки"), u("Почта Ёжика")},
                 {u("Описание карточки"), "  spaced  "},
                 {u("Разрешенные MACи"), "kept"},
                 {u("Ключ не отсюда"), ""}};
    int n = 0;
    for (const QString& key : k.ownKeys)
        map.insert(key, u("значение ~!@#$%^&*()-+=_,.<>?/\\| ") + QString::number(++n));
    QVERIFY(card->setData(map));
    FieldMap& first = card->getData();
    FieldMap expected = map;
    expected.insert(u("Тип карточки"), u(k.typeName));
    QCOMPARE(first, expected);
    QCOMPARE(&card->getData(), &first);
}

void TestCards::emptyMapEmptiesAndHides()
{
    QFETCH(int, kind);
    const Kind& k = kinds[kind];
    QScopedPointer<PatternCard> card(k.make());
    FieldMap previous;
    for (const QString& key : commonKeys + k.ownKeys)
        previous.insert(key, "previous");
    card->setData(previous);
    {
        // The cards that name their step in the debug output do so for an empty map too.
        const QMap<QString, QString> traces = {{"CardCar", "CardCar::setData(const FieldMap &fields)"},
                                               {"CardBank", "CardBank::hideControls true"}};
        DebugCapture capture;
        card->setData(FieldMap());
        QVERIFY(!traces.contains(k.className) || capture.texts().contains(traces[k.className]));
    }
    for (QLineEdit* edit : card->findChildren<QLineEdit*>())
        QVERIFY2(edit->text().trimmed().isEmpty(), qPrintable(edit->objectName()));
    QVERIFY(shown(card.data(), "lineEdit_name"));
    QVERIFY(!shown(card.data(), "lineEdit_descr"));
    QVERIFY(child<QLabel>(card.data(), "label_ico")->pixmap(Qt::ReturnByValue).isNull());
    for (const Row& row : rowsOf(k))
        QVERIFY(!shown(card.data(), row.editor) && !shown(card.data(), row.label));
    QCOMPARE(card->getData().value(u("Иконка"), "missing"), QString());

    // An icon path outside the program's resources is kept, not read.
    QTemporaryDir dir;
    const QString file = dir.filePath("icon.png");
    QVERIFY(QPixmap(":/32/oxygen/folders/car").save(file));
    card->setData(FieldMap{{u("Иконка"), file}});
    QVERIFY(child<QLabel>(card.data(), "label_ico")->pixmap(Qt::ReturnByValue).isNull());
    QVERIFY(child<QToolButton>(card.data(), "toolButton_ico")->icon().isNull());
    QCOMPARE(card->getData().value(u("Иконка")), file);
}

void TestCards::hiddenRowsComeBack()
{
    QFETCH(int, kind);
    const QList<Row> rows = rowsOf(kinds[kind]);
    QScopedPointer<PatternCard> card(kinds[kind].make());
    FieldMap sparse{{rows.first().key, "only"}}, full{{u("Описание карточки"), "d"}};
    for (const Row& row : rows)
        full.insert(row.key, "v");
    card->setData(sparse);
    for (const Row& row : rows)
        QCOMPARE(shown(card.data(), row.editor), row.key == rows.first().key);

    card->setData(full);  // the next card, viewed without a change of state
    QVERIFY(shown(card.data(), "lineEdit_descr"));
    for (const Row& row : rows)
        QVERIFY2(shown(card.data(), row.editor) && shown(card.data(), row.label), qPrintable(row.key));

    card->setData(sparse);
    card->setReadOnly(false);
    card->setReadOnly(true);  // rows stay until the next fill
    for (const Row& row : rows)
        QVERIFY(shown(card.data(), row.editor));
    QVERIFY(!shown(card.data(), "toolButton_ico"));

    if (kind == user) {  // the open button goes with its row and comes back with it
        DebugCapture capture;
        card->setData(FieldMap{{u("Пароль"), "p"}});
        QVERIFY(capture.texts().contains("void CardUser::hideControls()"));
        QVERIFY(!shown(card.data(), "toolButton_url") && shown(card.data(), "toolButton_clipboard"));
        card->setData(full);
        QVERIFY(shown(card.data(), "toolButton_url") && shown(card.data(), "toolButton_clipboard"));
        QVERIFY(!shown(card.data(), "toolButton_passw") && !shown(card.data(), "toolButton_ico"));
    }
}

// A card widget serves card after card: undo in the new card that "Add"
// clears must not bring back the previous card's texts.
void TestCards::noUndoIntoNextCard()
{
    QFETCH(int, kind);
    const Kind& k = kinds[kind];
    QScopedPointer<PatternCard> card(k.make());
    FieldMap previous{{u("Название карточки"), "previous"}, {u("Описание карточки"), "previous"}};
    for (const Row& row : rowsOf(k))
        previous.insert(row.key, row.isDate() ? "01.02.2003" : "previous");
    card->setData(previous);
    card->setReadOnly(false);
    type(child(card.data(), "lineEdit_name"), "typed");
    card->erase();
    card->setReadOnly(false);
    const FieldMap fresh = card->getData();
    QList<QWidget*> edits;
    for (QLineEdit* e : card->findChildren<QLineEdit*>())
        edits << e;
    for (QTextEdit* e : card->findChildren<QTextEdit*>())
        edits << e;
    for (QDateEdit* e : card->findChildren<QDateEdit*>())
        edits << e;
    for (QWidget* edit : edits) {
        QTest::keyClick(edit, Qt::Key_Z, Qt::ControlModifier);
        QTest::keyClick(edit, Qt::Key_Z, Qt::ControlModifier);
    }
    QCOMPARE(card->getData(), fresh);
}

// Lines of a note are separated by line feeds, whichever key broke them.
void TestCards::noteLineBreaks()
{
    CardNote card;
    card.setReadOnly(false);
    auto* text = child<QTextEdit>(&card, "lineEdit_note");
    type(text, "a");
    QTest::keyClick(text, Qt::Key_Return, Qt::ShiftModifier);
    type(text, "b");
    QTest::keyClick(text, Qt::Key_Return);
    type(text, "c");
    QCOMPARE(card.getData().value(u("Текст заметки")), QString("a\nb\nc"));
}

void TestCards::storeRoundTrip()
{
    // One card of every type with every field filled, saved, and read back.
    const QString noteText = u("Первая строка\r\nвторая\u00a0строка\u2028<b>не разметка</b> &amp;\n\n\tконец\n");
    const QMap<QString, QString> dates = {
        {u("Действует до"), "31.12.2015"}, {u("Дата рождения"), "01.01.1900"}, {u("Когда выдан"), "15.04.2005"}};
    CardMap descr;
    FolderMap safe;
    for (const Kind& k : kinds) {
        QScopedPointer<PatternCard> card(k.make());
        FieldMap map{{u("Название карточки"), k.className}, {u("Описание карточки"), u("Описание ") + k.icon}};
        for (const QString& key : k.ownKeys)
            map.insert(key, dates.value(key, key + u(" ~!@ Ёё ") + k.icon));
        if (k.ownKeys.contains(u("Текст заметки")))
            map.insert(u("Текст заметки"), noteText);
        card->setData(map);
        card->setReadOnly(false);
        for (const Row& row : rowsOf(k))
            if (row.isDate())
                QCOMPARE(child<QDateEdit>(card.data(), row.editor)->date(), QDate::fromString(map[row.key], "dd.MM.yyyy"));
        descr.insert(k.typeName, FieldMap{{"name", k.typeName}, {"card", k.typeName}});
        safe[k.typeName].insert(k.className, card->getData());
    }
    QTemporaryDir dir;
    const QByteArray key = Repository::keyFromPassword("pass");
    QVERIFY(Repository(dir.filePath("s.bpk")).write(key, descr, safe));
    CardMap readDescr;
    FolderMap readSafe;
    QVERIFY(Repository(dir.filePath("s.bpk")).read(key, readDescr, readSafe));
    QCOMPARE(readSafe, safe);
    for (const Kind& k : kinds) {
        const FieldMap stored = readSafe[k.typeName][k.className];
        QCOMPARE(stored.size(), 4 + k.ownKeys.size());
        QScopedPointer<PatternCard> card(k.make());
        card->setData(stored);
        for (const Row& row : rowsOf(k))
            QVERIFY2(shown(card.data(), row.editor), qPrintable(row.key));
        QCOMPARE(card->getData(), stored);
    }
    const FieldMap storedNote = readSafe[u("Заметки")]["CardNote"];
    QCOMPARE(storedNote.value(u("Текст заметки")).toUtf8(), noteText.toUtf8());
    QScopedPointer<PatternCard> card(kinds[note].make());
    card->setData(storedNote);
    auto* text = child<QTextEdit>(card.data(), "lineEdit_note");
    QVERIFY(text->isReadOnly() && text->toPlainText().contains("<b>"));
}

void TestCards::passwordEntry_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("field");
    for (int i = 0; i < kinds.size(); ++i)
        for (int f = 0; f < rowsOf(kinds[i]).size(); ++f)
            if (rowsOf(kinds[i])[f].isLatin())
                QTest::newRow(qPrintable(QString(kinds[i].className) + " " + rowsOf(kinds[i])[f].editor)) << i << f;
}

void TestCards::passwordEntry()
{
    QFETCH(int, kind);
    QFETCH(int, field);
    const Row row = rowsOf(kinds[kind])[field];
    QScopedPointer<PatternCard> card(kinds[kind].make());
    QLineEdit* passw = child<QLineEdit>(card.data(), row.editor);
    QToolButton* generate = child<QToolButton>(card.data(), row.buttons.last());
    QCOMPARE(passw->echoMode(), kind == user ? QLineEdit::Password : QLineEdit::Normal);
    card->setReadOnly(false);
    type(passw, u("ab Ж!9_Zё"));
    QCOMPARE(passw->text(), QString("ab9Z"));
    passw->clear();
    type(passw, QString(40, 'x'));
    QCOMPARE(passw->text().size(), 32);

    // Generated and stored passwords are taken whole, signs and length included,
    // and what is typed after them is still filtered; undo does not open a gap.
    const QString symbols = u("~!@#$%^&*()-+=_,.<>?/\\|Ab1");
    onNextDialog([&](QWidget* dialog) {
        QCOMPARE(dialog->metaObject()->className(), "GenPswDlg");
        QCOMPARE(dialog->parentWidget(), card.data());
        child<QLineEdit>(dialog, "lineEdit_psw")->setText(symbols);
        pressOk(dialog);
    });
    generate->click();
    QCOMPARE(card->getData().value(row.key), symbols);
    passw->home(false);
    QTest::keyClick(passw, Qt::Key_Delete);
    passw->undo();  // the sign comes back where undo is offered (not in a masked edit)
    const QString base = passw->text();
    passw->end(false);
    type(passw, u("Ж !x~9"));
    QCOMPARE(passw->text(), base + "x9");
    type(passw, QString(10, 'y'));
    const QString full = (base + "x9" + QString(10, 'y')).left(32);
    QCOMPARE(passw->text(), full);
    passw->setSelection(0, 1);
    type(passw, "Q");  // a stretch of the program's text replaced by a letter
    QCOMPARE(card->getData().value(row.key), "Q" + full.mid(1));

    QSignalSpy spy(card.data(), &PatternCard::cardChanged);
    onNextDialog(reject);
    generate->click();
    QCOMPARE(spy.count(), 0);
    const QString stored = u("пароль с пробелом ") + QString(40, 'y');
    card->setData(FieldMap{{row.key, stored}});
    type(passw, u("ЖaZ"));
    QTest::keyClick(passw, Qt::Key_Backspace);
    type(passw, "a");
    QCOMPARE(card->getData().value(row.key), stored.chopped(1));
}

void TestCards::changesAreSignalled()
{
    CardUser card;
    QSignalSpy spy(&card, &PatternCard::cardChanged);
    card.setData(FieldMap{{u("Название карточки"), "n"}, {u("Пароль"), "p"}});
    QCOMPARE(spy.count(), 2);
    card.erase();
    QCOMPARE(spy.count(), 4);
    card.setReadOnly(false);
    type(child(&card, "lineEdit_mail"), "a@b");
    QCOMPARE(spy.count(), 7);
    for (const QList<QVariant>& args : spy)
        QCOMPARE(args.at(0).toBool(), true);
    const FieldMap before = card.getData();
    child<QToolButton>(&card, "toolButton_note")->click();
    QCOMPARE(spy.count(), 7);
    QCOMPARE(card.getData(), before);
}

void TestCards::iconChooser()
{
    CardUser card;
    QSignalSpy spy(&card, &PatternCard::cardChanged);
    bool opened = false;
    QTimer* watch = onNextDialog([&](QWidget* dialog) { opened = true; reject(dialog); });
    child<QToolButton>(&card, "toolButton_ico")->click();  // read-only: refused
    QTest::qWait(30);
    delete watch;
    QVERIFY(!opened);

    card.setReadOnly(false);
    for (int pass = 1; pass <= 2; ++pass) {  // the same icon again is signalled again
        onNextDialog([&](QWidget* dialog) {
            child<QListWidget>(dialog, "listWidget_icons")->setCurrentRow(3);
            pressOk(dialog);
        });
        child<QToolButton>(&card, "toolButton_ico")->click();
        QCOMPARE(spy.count(), pass);
    }
    const QString chosen = card.getData().value(u("Иконка"));
    QVERIFY(chosen.startsWith(":/32/") && chosen != ":/32/oxygen/folders/user");
    QVERIFY(sameIcon(child<QToolButton>(&card, "toolButton_ico")->icon(), chosen));
    // The view's icon follows at the next fill, not at once.
    const QImage shown = child<QLabel>(&card, "label_ico")->pixmap(Qt::ReturnByValue).toImage();
    QCOMPARE(shown, QPixmap(":/32/oxygen/folders/user").toImage());
    onNextDialog(reject);
    child<QToolButton>(&card, "toolButton_ico")->click();
    QCOMPARE(spy.count(), 2);
    QCOMPARE(card.getData().value(u("Иконка")), chosen);
}

void TestCards::copyButton()
{
    CardUser card;
    const QString secret = u("S3cr~t|Пароль");
    card.setData(FieldMap{{u("Пароль"), secret}});
    card.setReadOnly(false);
    child<QLineEdit>(&card, "lineEdit_passw")->setText("typed");
    QSignalSpy spy(&card, &PatternCard::cardChanged);
    {
        DebugCapture capture;
        child<QToolButton>(&card, "toolButton_clipboard")->click();
        for (const CapturedMessage& m : capture.messages)
            QVERIFY2(!m.text.contains("S3cr"), "the password went to the debug output");
    }
    QCOMPARE(QGuiApplication::clipboard()->text(QClipboard::Clipboard), secret);  // stored, not typed
    QCOMPARE(spy.count(), 0);

    card.setReadOnly(true);
    card.setData(FieldMap());  // the password row goes, the copy button stays
    QVERIFY(!shown(&card, "lineEdit_passw") && shown(&card, "toolButton_clipboard"));
    card.erase();
    child<QToolButton>(&card, "toolButton_clipboard")->click();
    QCOMPARE(QGuiApplication::clipboard()->text(QClipboard::Clipboard), QString());
}

void TestCards::urlButton_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("opened");
    QTest::newRow("bare host") << "example.com" << "http://example.com";
    QTest::newRow("spaced") << "  www.example.com/a?b=1 " << "http://www.example.com/a?b=1";
    QTest::newRow("https") << "https://example.org/x" << "https://example.org/x";
    QTest::newRow("empty") << "" << "";
    QTest::newRow("blank") << "   " << "";
    QTest::newRow("absolute path") << "/etc/passwd" << "";
    QTest::newRow("file url") << "file:///etc/passwd" << "";
    QTest::newRow("home path") << "~/secret" << "";
    QTest::newRow("drive path") << "C:\\Windows\\notepad.exe" << "";
    QTest::newRow("unc path") << "\\\\host\\share\\run.exe" << "";
    QTest::newRow("file host") << "FILE://host/share/run.exe" << "";
}

void TestCards::urlButton()
{
    QFETCH(QString, typed);
    QFETCH(QString, opened);
    UrlCatcher catcher;
    const QStringList schemes = {"http", "https", "file", "", "c", "ftp"};
    for (const QString& scheme : schemes)
        QDesktopServices::setUrlHandler(scheme, &catcher, "open");
    CardUser card;
    card.setData(FieldMap{{u("URL"), typed}});
    QCOMPARE(shown(&card, "toolButton_url"), !typed.isEmpty());
    child<QToolButton>(&card, "toolButton_url")->click();
    for (const QString& scheme : schemes)
        QDesktopServices::unsetUrlHandler(scheme);
    QCOMPARE(catcher.opened.size(), opened.isEmpty() ? 0 : 1);
    if (!opened.isEmpty())
        QCOMPARE(catcher.opened.first().toString(), opened);
    QCOMPARE(card.getData().value(u("URL")), typed);
    card.setReadOnly(false);
    QVERIFY(!shown(&card, "toolButton_url") && !shown(&card, "toolButton_clipboard"));
}

void TestCards::languageChange()
{
    QFETCH(int, kind);
    QScopedPointer<PatternCard> card(kinds[kind].make());
    QEvent event(QEvent::LanguageChange);
    QCoreApplication::sendEvent(card.data(), &event);
    for (const Row& row : rowsOf(kinds[kind]))
        QCOMPARE(child<QLabel>(card.data(), row.label)->text(), row.labelText);
    QCOMPARE(child<QLabel>(card.data(), "label_ico")->text(), "ico");
    QCOMPARE(card->getData().value(u("Тип карточки")), u(kinds[kind].typeName));  // keys unchanged
    QCOMPARE(card->getData().size(), 4 + kinds[kind].ownKeys.size());
}

void TestCards::form()
{
    QFETCH(int, kind);
    const Kind& k = kinds[kind];
    const QStringList layouts = QString(k.layouts).split(' ');
    QScopedPointer<PatternCard> card(k.make());
    QWidget* w = card.data();
    QCOMPARE(w->size(), k.size);
    QCOMPARE(w->minimumSize(), k.minSize);
    QCOMPARE(w->windowTitle(), QString("Form"));

    // Layouts: the card's box, the main layout, the scroll area and its stack.
    auto* outer = qobject_cast<QVBoxLayout*>(w->layout());
    QVERIFY(outer && outer->objectName() == "verticalLayout");
    if (kind == computer)
        QCOMPARE(outer->spacing(), 6);
    QLayout* main = outer->itemAt(0)->layout();
    auto* scroll = child<QScrollArea>(w, "scrollArea");
    QVERIFY(main && main->objectName() == layouts[0] && main->itemAt(0)->widget() == scroll);
    QVERIFY(scroll->widgetResizable());
    QCOMPARE(scroll->widget(), child(w, "scrollAreaWidgetContents"));
    auto* stack = qobject_cast<QVBoxLayout*>(scroll->widget()->layout());
    QVERIFY(stack && stack->objectName() == layouts[1] && stack->count() == 3);
    auto* head = qobject_cast<QGridLayout*>(stack->itemAt(0)->layout());
    auto* body = qobject_cast<QGridLayout*>(stack->itemAt(1)->layout());
    QVERIFY(head && head->objectName() == "gridLayout_head" && body && body->objectName() == "gridLayout_body");
    QCOMPARE(stack->itemAt(2)->spacerItem()->sizeHint(), QSize(20, 40));
    QCOMPARE(stack->itemAt(2)->spacerItem()->sizePolicy().verticalPolicy(), QSizePolicy::Expanding);

    int row, column, rowSpan, columnSpan;
    const int span = kind == note ? 1 : 2;
    auto* headBox = qobject_cast<QHBoxLayout*>(head->itemAtPosition(1, 0)->layout());
    QVERIFY(headBox && headBox->objectName() == layouts[2]);
    head->getItemPosition(head->indexOf(headBox), &row, &column, &rowSpan, &columnSpan);
    QCOMPARE(QList<int>({row, column, rowSpan, columnSpan}), QList<int>({1, 0, 1, span}));
    QCOMPARE(headBox->itemAt(0)->widget(), child(w, "label_ico"));
    QCOMPARE(headBox->itemAt(1)->widget(), child(w, "toolButton_ico"));
    QCOMPARE(headBox->itemAt(2)->widget(), child(w, "lineEdit_name"));
    head->getItemPosition(head->indexOf(child(w, "lineEdit_descr")), &row, &column, &rowSpan, &columnSpan);
    QCOMPARE(QList<int>({row, column, rowSpan, columnSpan}), QList<int>({2, 0, 1, span}));

    // The body cell by cell; the tab chain runs through the head, then the
    // body row by row (editors and editing buttons), then the scroll area.
    QStringList widgets = {"scrollArea", "scrollAreaWidgetContents", "label_ico", "toolButton_ico",
                           "lineEdit_name", "lineEdit_descr"};
    QStringList tabs = widgets.mid(3);
    const QStringList lines = u(k.grid).split(';');
    for (int r = 0; r < lines.size(); ++r) {
        const QStringList cells = lines[r].split(',');
        for (int c = 0; c < cells.size(); ++c) {
            const QString name = cells[c].section('=', 0, 0);
            if (name.isEmpty())
                continue;
            body->getItemPosition(body->indexOf(child(w, name)), &row, &column, &rowSpan, &columnSpan);
            QCOMPARE(QList<int>({row, column, rowSpan, columnSpan}), QList<int>({r, c, 1, 1}));
            widgets << name;
            if (!name.startsWith("label_") && name != "toolButton_url" && name != "toolButton_clipboard")
                tabs << name;
            if (buttonIcons.contains(name)) {
                auto* button = child<QToolButton>(w, name);
                QVERIFY2(sameIcon(button->icon(), buttonIcons[name]), qPrintable(name));
                QVERIFY(button->text() == "..." && button->toolTip().isEmpty());
            }
        }
    }
    QCOMPARE(body->count(), widgets.size() - 6);
    QStringList names;
    for (QWidget* child : w->findChildren<QWidget*>())
        if (!child->objectName().isEmpty() && !child->objectName().startsWith("qt_"))
            names << child->objectName();
    names.sort();
    widgets.sort();
    QCOMPARE(names, widgets);

    QStringList chain;
    QWidget* first = child(w, "toolButton_ico");
    for (QWidget* x = first; chain.size() < tabs.size() + 1; x = x->nextInFocusChain()) {
        if ((x->focusPolicy() & Qt::TabFocus) && !x->objectName().startsWith("qt_"))
            chain << x->objectName();
        if (x->nextInFocusChain() == first)
            break;
    }
    QCOMPARE(chain, tabs << "scrollArea");

    QVERIFY(sameIcon(child<QToolButton>(w, "toolButton_ico")->icon(), ":/32/oxygen/folders/" + QString(k.icon)));
    QCOMPARE(child<QToolButton>(w, "toolButton_ico")->iconSize(), QSize(32, 32));
    QCOMPARE(child<QLabel>(w, "label_ico")->minimumSize(), QSize(32, 32));
    QCOMPARE(child<QLabel>(w, "label_ico")->maximumSize(), QSize(32, 32));
    QCOMPARE(child<QLineEdit>(w, "lineEdit_name")->font().pointSize(), 10);
    QCOMPARE(child<QLineEdit>(w, "lineEdit_name")->placeholderText(), u("Название карточки"));
    QCOMPARE(child<QLineEdit>(w, "lineEdit_descr")->placeholderText(), u("Описание карточки"));
    QVERIFY(child<QLineEdit>(w, "lineEdit_descr")->hasFrame());
    for (const Row& r : rowsOf(k)) {
        QCOMPARE(child<QLabel>(w, r.label)->text(), r.key);  // the key is the label's text
        auto* edit = w->findChild<QLineEdit*>(r.editor);
        if (!edit)
            continue;
        QVERIFY(edit->maxLength() == 32767 && edit->toolTip().isEmpty() && edit->inputMask().isEmpty());
        QVERIFY(edit->placeholderText().isEmpty());
        auto* latin = qobject_cast<const QRegExpValidator*>(edit->validator());
        QCOMPARE(latin != nullptr, r.isLatin());
        QVERIFY(!latin || (latin->regExp().pattern() == "[A-Za-z0-9]{0,32}" && latin->parent() == w));
    }
    for (QDateEdit* date : w->findChildren<QDateEdit*>()) {
        QCOMPARE(date->displayFormat(), QString("dd.MM.yyyy"));
        const QDate earliest = QDate::currentDate().addYears(-50);
        QCOMPARE(date->minimumDate(), kind == passport ? qMin(earliest, QDate(1900, 1, 1)) : earliest);
        QCOMPARE(date->maximumDate(), QDate::currentDate().addYears(50));
    }
}

QTEST_MAIN(TestCards)
#include "tst_cards.moc"
