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

struct Kind {
    const char* className;
    const char* typeName;
    const char* icon;
    std::function<PatternCard*()> make;
    QStringList ownKeys;
};

template <class T>
PatternCard* make() { return new T(nullptr); }

const QStringList computerKeys = {u("Имя пользователя"), u("Пароль"), u("Примечания")};
const QStringList userKeys = {u("URL"), u("E-Mail"), u("Имя пользователя"), u("Пароль"), u("Примечания")};
const QStringList commonKeys = {u("Тип карточки"), u("Иконка"), u("Название карточки"), u("Описание карточки")};

// In the main window's order of creation.
const QList<Kind> kinds = {
    {"CardCar", "Автомобиль", "car", make<CardCar>, {}},
    {"CardBank", "Банковская карта", "bank", make<CardBank>, {}},
    {"CardWifi", "Беспроводное оборудование", "wifi", make<CardWifi>, {}},
    {"CardNote", "Заметки", "note", make<CardNote>, {}},
    {"CardLock", "Кодовый замок", "lock", make<CardLock>, {}},
    {"CardComputer", "Компьютер", "computer", make<CardComputer>, computerKeys},
    {"CardIcq", "Мессенджер", "icq", make<CardIcq>, {}},
    {"CardPeriph", "Оборудование", "periph", make<CardPeriph>, {}},
    {"CardCloud", "Онлайн хранилище", "cloud", make<CardCloud>, {}},
    {"CardPassport", "Паспорт", "passport", make<CardPassport>, {}},
    {"CardUser", "Учётная запись", "user", make<CardUser>, userKeys},
    {"CardServer", "Сервер", "server", make<CardServer>, {}},
};
const int computer = 5, user = 10;

// Editor and label of each own field.
const QMap<QString, QPair<QString, QString>> rows = {
    {u("URL"), {"lineEdit_url", "label_url"}},
    {u("E-Mail"), {"lineEdit_mail", "label_mail"}},
    {u("Имя пользователя"), {"lineEdit_login", "label_login"}},
    {u("Пароль"), {"lineEdit_passw", "label_passw"}},
    {u("Примечания"), {"lineEdit_note", "label_note"}},
};


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
    void ownCards_data();
    void hiddenRowsComeBack_data() { ownCards_data(); }
    void hiddenRowsComeBack();
    void passwordEntry_data() { ownCards_data(); }
    void passwordEntry();
    void changesAreSignalled();
    void iconChooser();
    void copyButton();
    void urlButton_data();
    void urlButton();
    void languageChange();
    void form_data();
    void form();
};

void TestCards::everyCard_data()
{
    QTest::addColumn<int>("kind");
    for (int i = 0; i < kinds.size(); ++i)
        QTest::newRow(kinds[i].className) << i;
}

void TestCards::ownCards_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("CardComputer") << computer;
    QTest::newRow("CardUser") << user;
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
    for (int pass = 0; pass < 2; ++pass) {  // fresh, then erased after another card
        const FieldMap data = card->getData();
        QCOMPARE(data.keys(), keys);
        QCOMPARE(data.value(u("Тип карточки")), u(k.typeName));
        QCOMPARE(data.value(u("Иконка")), ":/32/oxygen/folders/" + QString(k.icon));
        for (const QString& key : keys.mid(0))
            if (key != u("Тип карточки") && key != u("Иконка"))
                QVERIFY2(data.value(key).isEmpty(), qPrintable(key));
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
    card->setData(FieldMap());
    for (QLineEdit* edit : card->findChildren<QLineEdit*>())
        QVERIFY2(edit->text().isEmpty(), qPrintable(edit->objectName()));
    QVERIFY(shown(card.data(), "lineEdit_name"));
    QVERIFY(!shown(card.data(), "lineEdit_descr"));
    QVERIFY(child<QLabel>(card.data(), "label_ico")->pixmap(Qt::ReturnByValue).isNull());
    for (const QString& key : k.ownKeys)
        QVERIFY(!shown(card.data(), rows[key].first) && !shown(card.data(), rows[key].second));
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
    const QStringList& keys = kinds[kind].ownKeys;
    QScopedPointer<PatternCard> card(kinds[kind].make());
    FieldMap sparse{{keys.first(), "only"}}, full{{u("Описание карточки"), "d"}};
    for (const QString& key : keys)
        full.insert(key, "v");
    card->setData(sparse);
    for (const QString& key : keys)
        QCOMPARE(shown(card.data(), rows[key].first), key == keys.first());

    card->setData(full);  // the next card, viewed without a change of state
    QVERIFY(shown(card.data(), "lineEdit_descr"));
    for (const QString& key : keys)
        QVERIFY2(shown(card.data(), rows[key].first) && shown(card.data(), rows[key].second), qPrintable(key));

    card->setData(sparse);
    card->setReadOnly(false);
    card->setReadOnly(true);  // rows stay until the next fill
    for (const QString& key : keys)
        QVERIFY(shown(card.data(), rows[key].first));
    QVERIFY(!shown(card.data(), "toolButton_passw"));

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

void TestCards::passwordEntry()
{
    QFETCH(int, kind);
    QScopedPointer<PatternCard> card(kinds[kind].make());
    QLineEdit* passw = child<QLineEdit>(card.data(), "lineEdit_passw");
    QCOMPARE(passw->echoMode(), kind == user ? QLineEdit::Password : QLineEdit::Normal);
    card->setReadOnly(false);
    type(passw, u("ab Ж!9_Zё"));
    QCOMPARE(passw->text(), QString("ab9Z"));
    passw->clear();
    type(passw, QString(40, 'x'));
    QCOMPARE(passw->text().size(), 32);

    // Generated and stored passwords are taken whole, signs and length included.
    const QString symbols = u("~!@#$%^&*()-+=_,.<>?/\\|Ab1");
    onNextDialog([&](QWidget* dialog) {
        QCOMPARE(dialog->metaObject()->className(), "GenPswDlg");
        QCOMPARE(dialog->parentWidget(), card.data());
        child<QLineEdit>(dialog, "lineEdit_psw")->setText(symbols);
        pressOk(dialog);
    });
    child<QToolButton>(card.data(), "toolButton_passw")->click();
    QCOMPARE(card->getData().value(u("Пароль")), symbols);
    QSignalSpy spy(card.data(), &PatternCard::cardChanged);
    onNextDialog(reject);
    child<QToolButton>(card.data(), "toolButton_passw")->click();
    QCOMPARE(passw->text(), symbols);
    QCOMPARE(spy.count(), 0);
    const QString stored = u("пароль с пробелом ") + QString(40, 'y');
    card->setData(FieldMap{{u("Пароль"), stored}});
    QCOMPARE(card->getData().value(u("Пароль")), stored);
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
    QMetaObject::invokeMethod(&card, "on_toolButton_ico_clicked");  // read-only: refused
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
    CardUser user;
    CardComputer computer;
    QCOMPARE(child<QLabel>(&user, "label_url")->text(), "URL");
    QEvent event(QEvent::LanguageChange);
    QCoreApplication::sendEvent(&user, &event);
    QCoreApplication::sendEvent(&computer, &event);
    QCOMPARE(child<QLabel>(&user, "label_url")->text(), "STR_USER_URL");
    QCOMPARE(child<QLabel>(&user, "label_passw")->text(), "STR_USER_PASSW");
    QCOMPARE(child<QLabel>(&user, "label_ico")->text(), "ico");
    QCOMPARE(child<QLabel>(&computer, "label_login")->text(), u("Имя пользователя"));
    QCOMPARE(user.getData().value(u("Тип карточки")), u("Учётная запись"));  // keys unchanged
    QCOMPARE(user.getData().size(), 9);
}

namespace {

struct Cell {
    const char* name;
    int row, column;
};

struct FormSpec {
    QSize size;
    int spacing;  // of the card's own layout; -1: not set
    QList<Cell> body;
    QStringList tabs;
    QList<QPair<const char*, const char*>> icons;  // tool button, resource
    QList<QPair<const char*, const char*>> labels; // label, text after init
    QStringList widgets;  // every named widget of the form
};

} // namespace

void TestCards::form_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<void*>("layout");
    static const FormSpec computerForm = {
        {200, 250}, 6,
        {{"label_login", 0, 0}, {"lineEdit_login", 1, 0}, {"label_passw", 2, 0}, {"lineEdit_passw", 3, 0},
         {"toolButton_passw", 3, 1}, {"label_note", 4, 0}, {"lineEdit_note", 5, 0}, {"toolButton_note", 5, 1}},
        {"toolButton_ico", "lineEdit_name", "lineEdit_descr", "lineEdit_login", "lineEdit_passw",
         "toolButton_passw", "lineEdit_note", "toolButton_note", "scrollArea"},
        {{"toolButton_passw", ":/32/tango/buttons/keys"}, {"toolButton_note", ":/32/tango/buttons/mail-attachment"},
         {"toolButton_ico", ":/32/oxygen/folders/computer"}},
        {{"label_login", "Имя пользователя"}, {"label_passw", "Пароль"}, {"label_note", "Примечания"}},
        {"scrollArea", "scrollAreaWidgetContents", "lineEdit_descr", "label_ico", "toolButton_ico",
         "lineEdit_name", "toolButton_passw", "label_login", "lineEdit_passw", "lineEdit_login",
         "toolButton_note", "lineEdit_note", "label_passw", "label_note"},
    };
    static const FormSpec userForm = {
        {200, 327}, -1,
        {{"label_url", 0, 0}, {"lineEdit_url", 1, 0}, {"toolButton_url", 1, 1}, {"label_mail", 2, 0},
         {"lineEdit_mail", 3, 0}, {"label_login", 4, 0}, {"lineEdit_login", 5, 0}, {"label_passw", 6, 0},
         {"lineEdit_passw", 7, 0}, {"toolButton_clipboard", 7, 1}, {"toolButton_passw", 7, 2},
         {"label_note", 8, 0}, {"lineEdit_note", 9, 0}, {"toolButton_note", 9, 2}},
        {"toolButton_ico", "lineEdit_name", "lineEdit_descr", "lineEdit_url", "lineEdit_mail", "lineEdit_login",
         "lineEdit_passw", "toolButton_passw", "lineEdit_note", "toolButton_note", "scrollArea"},
        {{"toolButton_url", ":/16/oxygen/buttons/internet"}, {"toolButton_passw", ":/32/tango/buttons/keys"},
         {"toolButton_clipboard", ":/16/oxygen/buttons/copy"},
         {"toolButton_note", ":/32/tango/buttons/mail-attachment"}, {"toolButton_ico", ":/32/oxygen/folders/user"}},
        {{"label_url", "URL"}, {"label_mail", "E-Mail"}, {"label_login", "Имя пользователя"},
         {"label_passw", "Пароль"}, {"label_note", "Примечания"}},
        {"scrollArea", "scrollAreaWidgetContents", "lineEdit_descr", "label_ico", "toolButton_ico",
         "lineEdit_name", "label_url", "lineEdit_url", "toolButton_url", "label_mail", "lineEdit_mail",
         "label_login", "lineEdit_login", "label_passw", "lineEdit_passw", "toolButton_clipboard",
         "toolButton_passw", "label_note", "lineEdit_note", "toolButton_note"},
    };
    QTest::newRow("CardComputer") << computer << const_cast<void*>(static_cast<const void*>(&computerForm));
    QTest::newRow("CardUser") << user << const_cast<void*>(static_cast<const void*>(&userForm));
}

void TestCards::form()
{
    QFETCH(int, kind);
    QFETCH(void*, layout);
    const FormSpec& f = *static_cast<const FormSpec*>(layout);
    QScopedPointer<PatternCard> card(kinds[kind].make());
    QWidget* w = card.data();
    QCOMPARE(w->size(), f.size);
    QCOMPARE(w->minimumSize(), QSize(200, 250));
    QCOMPARE(w->windowTitle(), QString("Form"));

    QStringList names;
    for (QWidget* child : w->findChildren<QWidget*>())
        if (!child->objectName().isEmpty() && !child->objectName().startsWith("qt_"))
            names << child->objectName();
    QStringList expected = f.widgets;
    names.sort();
    expected.sort();
    QCOMPARE(names, expected);

    // Layouts: the card's box, the main grid, the scroll area and its stack.
    auto* outer = qobject_cast<QVBoxLayout*>(w->layout());
    QVERIFY(outer && outer->objectName() == "verticalLayout");
    if (f.spacing >= 0)
        QCOMPARE(outer->spacing(), f.spacing);
    auto* main = w->findChild<QGridLayout*>("gridLayout_main");
    QVERIFY(main && outer->indexOf(main) == 0);
    auto* scroll = child<QScrollArea>(w, "scrollArea");
    QVERIFY(scroll->widgetResizable());
    QCOMPARE(main->itemAtPosition(0, 0)->widget(), scroll);
    QCOMPARE(scroll->widget(), child(w, "scrollAreaWidgetContents"));
    auto* stack = qobject_cast<QVBoxLayout*>(scroll->widget()->layout());
    QVERIFY(stack && stack->objectName() == "verticalLayout_scroll" && stack->count() == 3);
    auto* head = qobject_cast<QGridLayout*>(stack->itemAt(0)->layout());
    auto* body = qobject_cast<QGridLayout*>(stack->itemAt(1)->layout());
    QVERIFY(head && head->objectName() == "gridLayout_head" && body && body->objectName() == "gridLayout_body");
    QVERIFY(stack->itemAt(2)->spacerItem());
    QCOMPARE(stack->itemAt(2)->spacerItem()->sizeHint(), QSize(20, 40));
    QCOMPARE(stack->itemAt(2)->spacerItem()->sizePolicy().verticalPolicy(), QSizePolicy::Expanding);

    int row, column, rowSpan, columnSpan;
    auto* headBox = qobject_cast<QHBoxLayout*>(head->itemAtPosition(1, 0)->layout());
    QVERIFY(headBox && headBox->objectName() == "horizontalLayout_head");
    head->getItemPosition(head->indexOf(headBox), &row, &column, &rowSpan, &columnSpan);
    QCOMPARE(QList<int>({row, column, rowSpan, columnSpan}), QList<int>({1, 0, 1, 2}));
    QCOMPARE(headBox->itemAt(0)->widget(), child(w, "label_ico"));
    QCOMPARE(headBox->itemAt(1)->widget(), child(w, "toolButton_ico"));
    QCOMPARE(headBox->itemAt(2)->widget(), child(w, "lineEdit_name"));
    head->getItemPosition(head->indexOf(child(w, "lineEdit_descr")), &row, &column, &rowSpan, &columnSpan);
    QCOMPARE(QList<int>({row, column, rowSpan, columnSpan}), QList<int>({2, 0, 1, 2}));
    QCOMPARE(body->count(), f.body.size());
    for (const Cell& cell : f.body) {
        body->getItemPosition(body->indexOf(child(w, cell.name)), &row, &column, &rowSpan, &columnSpan);
        QCOMPARE(QList<int>({row, column, rowSpan, columnSpan}), QList<int>({cell.row, cell.column, 1, 1}));
    }

    // Tab order: the widgets that take focus by Tab, in chain order.
    QStringList chain;
    QWidget* first = child(w, "toolButton_ico");
    for (QWidget* x = first; chain.size() < f.tabs.size(); x = x->nextInFocusChain()) {
        if (x->focusPolicy() & Qt::TabFocus)
            chain << x->objectName();
        if (x->nextInFocusChain() == first)
            break;
    }
    QCOMPARE(chain, f.tabs);

    for (const auto& icon : f.icons) {
        auto* button = child<QToolButton>(w, icon.first);
        QVERIFY2(sameIcon(button->icon(), icon.second), icon.first);
        QCOMPARE(button->text(), QString("..."));
        QVERIFY(button->toolTip().isEmpty());
    }
    QCOMPARE(child<QToolButton>(w, "toolButton_ico")->iconSize(), QSize(32, 32));
    QCOMPARE(child<QLabel>(w, "label_ico")->minimumSize(), QSize(32, 32));
    QCOMPARE(child<QLabel>(w, "label_ico")->maximumSize(), QSize(32, 32));
    for (const auto& label : f.labels)
        QCOMPARE(child<QLabel>(w, label.first)->text(), u(label.second));

    QCOMPARE(child<QLineEdit>(w, "lineEdit_name")->font().pointSize(), 10);
    QCOMPARE(child<QLineEdit>(w, "lineEdit_name")->placeholderText(), u("Название карточки"));
    QCOMPARE(child<QLineEdit>(w, "lineEdit_descr")->placeholderText(), u("Описание карточки"));
    QVERIFY(child<QLineEdit>(w, "lineEdit_descr")->hasFrame());
    for (QLineEdit* edit : w->findChildren<QLineEdit*>()) {
        const QString name = edit->objectName();
        QCOMPARE(edit->maxLength(), 32767);
        QVERIFY(edit->toolTip().isEmpty() && edit->inputMask().isEmpty());
        QCOMPARE(edit->validator() != nullptr, name == "lineEdit_passw");
        if (name != "lineEdit_name" && name != "lineEdit_descr")
            QVERIFY2(edit->placeholderText().isEmpty(), qPrintable(name));
    }
    auto* latin = qobject_cast<const QRegExpValidator*>(child<QLineEdit>(w, "lineEdit_passw")->validator());
    QVERIFY(latin && latin->regExp().pattern() == "[A-Za-z0-9]{0,32}" && latin->parent() == w);
}

QTEST_MAIN(TestCards)
#include "tst_cards.moc"
