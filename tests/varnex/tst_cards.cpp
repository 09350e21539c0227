// The twelve card editors: what each writes, keeps and shows; the computer
// and account cards' own fields, buttons and texts.

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QUrl>
#include <QtTest>

#include <functional>

#include "tests/common/DebugCapture.h"
#include "varnex/interface/cards/cardbank.h"
#include "varnex/interface/cards/cardcar.h"
#include "varnex/interface/cards/cardcloud.h"
#include "varnex/interface/cards/cardcomputer.h"
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

const QList<Kind>& kinds()
{
    static const QList<Kind> list = {
        {"CardCar", "Автомобиль", "car", [] { return new CardCar(nullptr); }, {}},
        {"CardBank", "Банковская карта", "bank", [] { return new CardBank(nullptr); }, {}},
        {"CardWifi", "Беспроводное оборудование", "wifi", [] { return new CardWifi(nullptr); }, {}},
        {"CardNote", "Заметки", "note", [] { return new CardNote(nullptr); }, {}},
        {"CardLock", "Кодовый замок", "lock", [] { return new CardLock(nullptr); }, {}},
        {"CardComputer", "Компьютер", "computer", [] { return new CardComputer(nullptr); },
         {u("Имя пользователя"), u("Пароль"), u("Примечания")}},
        {"CardIcq", "Мессенджер", "icq", [] { return new CardIcq(nullptr); }, {}},
        {"CardPeriph", "Оборудование", "periph", [] { return new CardPeriph(nullptr); }, {}},
        {"CardCloud", "Онлайн хранилище", "cloud", [] { return new CardCloud(nullptr); }, {}},
        {"CardPassport", "Паспорт", "passport", [] { return new CardPassport(nullptr); }, {}},
        {"CardUser", "Учётная запись", "user", [] { return new CardUser(nullptr); },
         {u("URL"), u("E-Mail"), u("Имя пользователя"), u("Пароль"), u("Примечания")}},
        {"CardServer", "Сервер", "server", [] { return new CardServer(nullptr); }, {}},
    };
    return list;
}

const QStringList commonKeys = {u("Тип карточки"), u("Иконка"), u("Название карточки"),
                                u("Описание карточки")};

// Editor and label of each own field, by key.
const QMap<QString, QPair<QString, QString>> rowWidgets = {
    {u("URL"), {"lineEdit_url", "label_url"}},
    {u("E-Mail"), {"lineEdit_mail", "label_mail"}},
    {u("Имя пользователя"), {"lineEdit_login", "label_login"}},
    {u("Пароль"), {"lineEdit_passw", "label_passw"}},
    {u("Примечания"), {"lineEdit_note", "label_note"}},
};

// Acts on the next modal dialog as soon as it is shown; returns the poller
// so that a test expecting no dialog can stop it.
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

void pressOk(QWidget* dialog)
{
    dialog->findChild<QDialogButtonBox*>("buttonBox")->button(QDialogButtonBox::Ok)->click();
}

// Types text key by key, Cyrillic letters included.
void type(QWidget* widget, const QString& text)
{
    for (const QChar ch : text) {
        QKeyEvent press(QEvent::KeyPress, ch.toUpper().unicode(), Qt::NoModifier, QString(ch));
        QKeyEvent release(QEvent::KeyRelease, ch.toUpper().unicode(), Qt::NoModifier, QString(ch));
        QApplication::sendEvent(widget, &press);
        QApplication::sendEvent(widget, &release);
    }
}

void reject(QWidget* dialog)
{
    qobject_cast<QDialog*>(dialog)->reject();
}

template <class W>
W* child(QWidget* card, const QString& name)
{
    W* w = card->findChild<W*>(name);
    if (!w)
        qFatal("no widget %s", qPrintable(name));
    return w;
}

bool shown(QWidget* card, const QString& name) { return child<QWidget>(card, name)->isVisibleTo(card); }

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
    void construction_data() { everyCard_data(); }
    void construction();
    void keysAfterErase_data() { everyCard_data(); }
    void keysAfterErase();
    void roundTripKeepsUnknownKeys_data() { everyCard_data(); }
    void roundTripKeepsUnknownKeys();
    void emptyMapHidesRows_data() { everyCard_data(); }
    void emptyMapHidesRows();
    void hiddenRowsComeBack_data();
    void hiddenRowsComeBack();
    void changesAreSignalled();
    void bodyCells();
    void computerTabOrder();
    void passwordValidator_data();
    void passwordValidator();
    void generatedPasswordKeptWhole();
    void iconChooser();
    void accountPasswordMasked();
    void copyButton();
    void urlButton_data();
    void urlButton();
    void urlButtonVisibility();
    void languageChange();
};

void TestCards::everyCard_data()
{
    QTest::addColumn<int>("kind");
    for (int i = 0; i < kinds().size(); ++i)
        QTest::newRow(kinds()[i].className) << i;
}

void TestCards::construction()
{
    QFETCH(int, kind);
    const Kind& k = kinds()[kind];
    QScopedPointer<PatternCard> card(k.make());
    QCOMPARE(card->metaObject()->className(), k.className);
    QCOMPARE(card->objectName(), QString(k.className));
    QCOMPARE(card->windowTitle(), QString("Form"));
    QVERIFY(card->parent() == nullptr);
    QVERIFY(card->isReadOnly());
    QVERIFY(shown(card.data(), "label_ico"));
    QVERIFY(!shown(card.data(), "toolButton_ico"));
    QVERIFY(!child<QLabel>(card.data(), "label_ico")->pixmap(Qt::ReturnByValue).isNull());
    for (QLineEdit* edit : card->findChildren<QLineEdit*>())
        QVERIFY(edit->isReadOnly());
    QCOMPARE(child<QLineEdit>(card.data(), "lineEdit_name")->placeholderText(), u("Название карточки"));
    QCOMPARE(child<QLineEdit>(card.data(), "lineEdit_descr")->placeholderText(), u("Описание карточки"));
    QCOMPARE(child<QLineEdit>(card.data(), "lineEdit_name")->font().pointSize(), 10);
}

void TestCards::keysAfterErase()
{
    QFETCH(int, kind);
    const Kind& k = kinds()[kind];
    QScopedPointer<PatternCard> card(k.make());
    FieldMap old;
    old.insert(u("Название карточки"), "old");
    old.insert(u("Чужой ключ"), "x");
    for (const QString& key : k.ownKeys)
        old.insert(key, "old");
    card->setData(old);
    card->erase();
    QVERIFY(card->isReadOnly());
    const FieldMap data = card->getData();
    QStringList expected = commonKeys + k.ownKeys;
    expected.sort();
    QCOMPARE(data.keys(), expected);
    QCOMPARE(data.value(u("Тип карточки")), u(k.typeName));
    QCOMPARE(data.value(u("Иконка")), ":/32/oxygen/folders/" + QString(k.icon));
    for (const QString& key : expected.mid(0))
        if (key != u("Тип карточки") && key != u("Иконка"))
            QVERIFY2(data.value(key).isEmpty(), qPrintable(key));
}

void TestCards::roundTripKeepsUnknownKeys()
{
    QFETCH(int, kind);
    const Kind& k = kinds()[kind];
    QScopedPointer<PatternCard> card(k.make());
    FieldMap map;
    map.insert(u("Тип карточки"), u("Сервер"));  // another card's type is overwritten
    map.insert(u("Иконка"), ":/32/cabinets/vk");
    map.insert(u("Название карточки"), u("Почта Ёжика"));
    map.insert(u("Описание карточки"), "  spaced  ");
    map.insert(u("Разрешенные MACи"), "kept");  // Latin look-alike of a wifi key
    map.insert(u("Ключ не отсюда"), "");
    int n = 0;
    for (const QString& key : k.ownKeys)
        map.insert(key, u("значение ~!@#$%^&*()-+=_,.<>?/\\| ") + QString::number(++n));
    QVERIFY(card->setData(map));
    FieldMap& first = card->getData();
    FieldMap expected = map;
    expected.insert(u("Тип карточки"), u(k.typeName));
    QCOMPARE(first, expected);
    QCOMPARE(&card->getData(), &first);  // the card's own map, every time
}

void TestCards::emptyMapHidesRows()
{
    QFETCH(int, kind);
    const Kind& k = kinds()[kind];
    QScopedPointer<PatternCard> card(k.make());
    FieldMap previous;
    previous.insert(u("Название карточки"), "previous");
    previous.insert(u("Описание карточки"), "previous");
    for (const QString& key : k.ownKeys)
        previous.insert(key, "previous");
    card->setData(previous);
    card->setData(FieldMap());
    for (QLineEdit* edit : card->findChildren<QLineEdit*>())
        QVERIFY2(edit->text().isEmpty(), qPrintable(edit->objectName()));
    QVERIFY(shown(card.data(), "lineEdit_name"));
    QVERIFY(!shown(card.data(), "lineEdit_descr"));
    QVERIFY(child<QLabel>(card.data(), "label_ico")->pixmap(Qt::ReturnByValue).isNull());
    for (const QString& key : k.ownKeys) {
        QVERIFY(!shown(card.data(), rowWidgets[key].first));
        QVERIFY(!shown(card.data(), rowWidgets[key].second));
    }
    QCOMPARE(card->getData().value(u("Иконка"), "missing"), QString());
}

void TestCards::hiddenRowsComeBack_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("CardComputer") << 5;
    QTest::newRow("CardUser") << 10;
}

void TestCards::hiddenRowsComeBack()
{
    QFETCH(int, kind);
    const Kind& k = kinds()[kind];
    QScopedPointer<PatternCard> card(k.make());
    FieldMap sparse;
    sparse.insert(u("Название карточки"), "a");
    sparse.insert(k.ownKeys.first(), "only");
    card->setData(sparse);
    QVERIFY(shown(card.data(), rowWidgets[k.ownKeys.first()].first));
    for (const QString& key : k.ownKeys.mid(1))
        QVERIFY(!shown(card.data(), rowWidgets[key].first));

    // The next card of this type, viewed without a change of state.
    FieldMap full;
    full.insert(u("Описание карточки"), "d");
    for (const QString& key : k.ownKeys)
        full.insert(key, "v");
    card->setData(full);
    QVERIFY(shown(card.data(), "lineEdit_descr"));
    for (const QString& key : k.ownKeys) {
        QVERIFY2(shown(card.data(), rowWidgets[key].first), qPrintable(key));
        QVERIFY(shown(card.data(), rowWidgets[key].second));
    }

    card->setData(sparse);
    card->setReadOnly(false);
    for (const QString& key : k.ownKeys)
        QVERIFY(shown(card.data(), rowWidgets[key].first));
    QVERIFY(shown(card.data(), "toolButton_passw"));
    card->setReadOnly(true);  // nothing is hidden again until the next fill
    for (const QString& key : k.ownKeys)
        QVERIFY(shown(card.data(), rowWidgets[key].first));
    QVERIFY(!shown(card.data(), "toolButton_passw"));
}

void TestCards::changesAreSignalled()
{
    CardUser card;
    QSignalSpy spy(&card, &PatternCard::cardChanged);
    FieldMap map;
    map.insert(u("Название карточки"), "n");
    map.insert(u("Пароль"), "p");
    card.setData(map);
    QCOMPARE(spy.count(), 2);
    card.erase();
    QCOMPARE(spy.count(), 4);
    for (const QList<QVariant>& args : spy)
        QCOMPARE(args.at(0).toBool(), true);
    spy.clear();
    card.setReadOnly(false);
    type(child<QLineEdit>(&card, "lineEdit_mail"), "a@b");
    QCOMPARE(spy.count(), 3);
    spy.clear();
    const FieldMap before = card.getData();
    child<QToolButton>(&card, "toolButton_note")->click();
    QCOMPARE(spy.count(), 0);
    QCOMPARE(card.getData(), before);
}

void TestCards::bodyCells()
{
    auto cell = [](QWidget* card, const char* name) {
        auto* grid = card->findChild<QGridLayout*>("gridLayout_body");
        int row, column, rows, columns;
        grid->getItemPosition(grid->indexOf(child<QWidget>(card, name)), &row, &column, &rows, &columns);
        return QPoint(column, row);
    };
    CardUser user;
    QCOMPARE(cell(&user, "label_url"), QPoint(0, 0));
    QCOMPARE(cell(&user, "toolButton_url"), QPoint(1, 1));
    QCOMPARE(cell(&user, "lineEdit_mail"), QPoint(0, 3));
    QCOMPARE(cell(&user, "lineEdit_passw"), QPoint(0, 7));
    QCOMPARE(cell(&user, "toolButton_clipboard"), QPoint(1, 7));
    QCOMPARE(cell(&user, "toolButton_passw"), QPoint(2, 7));
    QCOMPARE(cell(&user, "toolButton_note"), QPoint(2, 9));
    QCOMPARE(user.size(), QSize(200, 327));
    CardComputer computer;
    QCOMPARE(cell(&computer, "label_login"), QPoint(0, 0));
    QCOMPARE(cell(&computer, "toolButton_passw"), QPoint(1, 3));
    QCOMPARE(cell(&computer, "lineEdit_note"), QPoint(0, 5));
    QCOMPARE(computer.minimumSize(), QSize(200, 250));
    QCOMPARE(computer.layout()->spacing(), 6);
}

void TestCards::computerTabOrder()
{
    CardComputer card;
    const QStringList order = {"toolButton_ico", "lineEdit_name", "lineEdit_descr", "lineEdit_login",
                               "lineEdit_passw", "toolButton_passw", "lineEdit_note", "toolButton_note",
                               "scrollArea"};
    QStringList chain;
    QWidget* w = child<QWidget>(&card, "toolButton_ico");
    for (int i = 0; i < 200 && chain.size() < order.size(); ++i, w = w->nextInFocusChain())
        if (order.contains(w->objectName()) && !chain.contains(w->objectName()))
            chain << w->objectName();
    QCOMPARE(chain, order);
}

void TestCards::passwordValidator_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("CardComputer") << 5;
    QTest::newRow("CardUser") << 10;
}

void TestCards::passwordValidator()
{
    QFETCH(int, kind);
    QScopedPointer<PatternCard> card(kinds()[kind].make());
    card->setReadOnly(false);
    QLineEdit* passw = child<QLineEdit>(card.data(), "lineEdit_passw");
    type(passw, u("ab Ж!9_Zё"));
    QCOMPARE(passw->text(), QString("ab9Z"));
    passw->clear();
    type(passw, QString(40, 'x'));
    QCOMPARE(passw->text().size(), 32);
    // The program's own text is not filtered.
    FieldMap map;
    map.insert(u("Пароль"), u("пароль с пробелом ~|\\") + QString(40, 'y'));
    card->setData(map);
    QCOMPARE(card->getData().value(u("Пароль")), map.value(u("Пароль")));
}

void TestCards::generatedPasswordKeptWhole()
{
    CardComputer card;
    card.setReadOnly(false);
    QSignalSpy spy(&card, &PatternCard::cardChanged);
    const QString symbols = u("~!@#$%^&*()-+=_,.<>?/\\|Ab1");
    onNextDialog([&](QWidget* dialog) {
        QCOMPARE(dialog->metaObject()->className(), "GenPswDlg");
        QCOMPARE(dialog->parentWidget(), &card);
        child<QLineEdit>(dialog, "lineEdit_psw")->setText(symbols);
        pressOk(dialog);
    });
    child<QToolButton>(&card, "toolButton_passw")->click();
    QCOMPARE(child<QLineEdit>(&card, "lineEdit_passw")->text(), symbols);
    QCOMPARE(card.getData().value(u("Пароль")), symbols);
    QVERIFY(spy.count() >= 1);

    spy.clear();
    onNextDialog([](QWidget* dialog) { reject(dialog); });
    child<QToolButton>(&card, "toolButton_passw")->click();
    QCOMPARE(child<QLineEdit>(&card, "lineEdit_passw")->text(), symbols);
    QCOMPARE(spy.count(), 0);
}

void TestCards::iconChooser()
{
    CardUser card;
    QSignalSpy spy(&card, &PatternCard::cardChanged);
    bool opened = false;
    QTimer* watch = onNextDialog([&](QWidget* dialog) {
        opened = true;
        reject(dialog);
    });
    QMetaObject::invokeMethod(&card, "on_toolButton_ico_clicked");  // read-only: refused
    QTest::qWait(30);
    QVERIFY(!opened);
    QCOMPARE(spy.count(), 0);
    delete watch;

    card.setReadOnly(false);
    QString chosen;
    for (int pass = 0; pass < 2; ++pass) {  // the same icon twice: signalled each time
        onNextDialog([&](QWidget* dialog) {
            child<QListWidget>(dialog, "listWidget_icons")->setCurrentRow(3);
            pressOk(dialog);
        });
        child<QToolButton>(&card, "toolButton_ico")->click();
        QCOMPARE(spy.count(), pass + 1);
        if (pass == 0)
            chosen = card.getData().value(u("Иконка"));
    }
    QVERIFY(chosen.startsWith(":/32/"));
    QVERIFY(chosen != ":/32/oxygen/folders/user");
    QCOMPARE(card.getData().value(u("Иконка")), chosen);

    onNextDialog([](QWidget* dialog) { reject(dialog); });
    child<QToolButton>(&card, "toolButton_ico")->click();
    QCOMPARE(spy.count(), 2);
    QCOMPARE(card.getData().value(u("Иконка")), chosen);
}

void TestCards::accountPasswordMasked()
{
    CardUser user;
    QLineEdit* passw = child<QLineEdit>(&user, "lineEdit_passw");
    QCOMPARE(passw->echoMode(), QLineEdit::Password);
    user.setReadOnly(false);
    QCOMPARE(passw->echoMode(), QLineEdit::Password);
    CardComputer computer;
    QCOMPARE(child<QLineEdit>(&computer, "lineEdit_passw")->echoMode(), QLineEdit::Normal);
}

void TestCards::copyButton()
{
    CardUser card;
    const QString secret = u("S3cr~t|Пароль");
    FieldMap map;
    map.insert(u("Пароль"), secret);
    card.setData(map);
    QVERIFY(shown(&card, "toolButton_clipboard"));
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

    // An empty password: its row goes, the copy button stays and copies nothing.
    card.setReadOnly(true);
    card.setData(FieldMap());
    QVERIFY(!shown(&card, "lineEdit_passw"));
    QVERIFY(shown(&card, "toolButton_clipboard"));
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
    FieldMap map;
    map.insert(u("URL"), typed);
    card.setData(map);
    child<QToolButton>(&card, "toolButton_url")->click();
    for (const QString& scheme : schemes)
        QDesktopServices::unsetUrlHandler(scheme);
    if (opened.isEmpty()) {
        QVERIFY2(catcher.opened.isEmpty(), qPrintable(catcher.opened.value(0).toString()));
    } else {
        QCOMPARE(catcher.opened.size(), 1);
        QCOMPARE(catcher.opened.first().toString(), opened);
    }
    QCOMPARE(card.getData().value(u("URL")), typed);  // the stored text is left as it was
}

void TestCards::urlButtonVisibility()
{
    CardUser card;
    FieldMap map;
    map.insert(u("URL"), "example.com");
    card.setData(map);
    QVERIFY(shown(&card, "toolButton_url"));
    card.setData(FieldMap());
    QVERIFY(!shown(&card, "toolButton_url"));
    QVERIFY(!shown(&card, "label_url"));
    card.setData(map);
    QVERIFY(shown(&card, "toolButton_url"));
    card.setReadOnly(false);
    QVERIFY(!shown(&card, "toolButton_url"));
    QVERIFY(!shown(&card, "toolButton_clipboard"));
    QVERIFY(!shown(&card, "label_ico"));
    QVERIFY(shown(&card, "toolButton_ico"));
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
    QCOMPARE(child<QLabel>(&computer, "label_note")->text(), u("Примечания"));
    QCOMPARE(child<QToolButton>(&computer, "toolButton_passw")->text(), "...");
    user.erase();
    QStringList keys = commonKeys + kinds()[10].ownKeys;
    keys.sort();
    QCOMPARE(user.getData().keys(), keys);
}

QTEST_MAIN(TestCards)
#include "tst_cards.moc"
