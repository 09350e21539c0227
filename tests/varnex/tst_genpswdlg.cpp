// The legacy generator hook lets a test feed the generator's bytes.
#define OPENSSL_SUPPRESS_DEPRECATED

#include "varnex/interface/genpswdlg.h"

#include "DebugCapture.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <openssl/rand.h>

#include <cmath>

namespace {

const QString kUpper = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
const QString kLower = "abcdefghijklmnopqrstuvwxyz";
const QString kDigits = "0123456789";
const QString kSymbols = "~!@#$%^&*()-+=_,.<>?/\\|";

// A generator whose bytes the test chooses: the script, over and over, or
// failure.
QByteArray g_script;
int g_pos = 0;
bool g_fail = false;

int scriptedBytes(unsigned char* buf, int n)
{
    if (g_fail || g_script.isEmpty())
        return 0;
    for (int i = 0; i < n; ++i)
        buf[i] = static_cast<unsigned char>(g_script.at(g_pos++ % g_script.size()));
    return 1;
}

RAND_METHOD g_scripted{nullptr, scriptedBytes, nullptr, nullptr, scriptedBytes, []() { return 1; }};

// Replaces the generator for the lifetime of the object.
struct ScriptedGenerator {
    const RAND_METHOD* old;
    explicit ScriptedGenerator(const QByteArray& script, bool fail = false)
    {
        g_script = script;
        g_pos = 0;
        g_fail = fail;
        old = RAND_get_rand_method();
        RAND_set_rand_method(&g_scripted);
    }
    ~ScriptedGenerator() { RAND_set_rand_method(old); }
};

bool allFrom(const QString& text, const QString& alphabet)
{
    for (QChar c : text)
        if (!alphabet.contains(c))
            return false;
    return true;
}

// Types one character as the keyboard would, also outside ASCII.
void typeChar(QWidget* w, QChar c)
{
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
    QApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
    QApplication::sendEvent(w, &release);
}

template <typename T>
T* child(QObject& dlg, const char* name)
{
    T* w = dlg.findChild<T*>(QString::fromLatin1(name));
    if (!w)
        qFatal("no child %s", name);
    return w;
}

} // namespace

class TestGenPswDlg : public QObject {
    Q_OBJECT

private slots:
    void opensWithTenLowerCaseLettersAndDigits()
    {
        GenPswDlg dlg(nullptr);
        QCOMPARE(dlg.windowTitle(), QString("Создать пароль"));
        QVERIFY(!dlg.windowIcon().isNull());
        QCOMPARE(child<QLabel>(dlg, "label_main")->text(), QString("Генератор паролей"));
        QCOMPARE(child<QGroupBox>(dlg, "groupBox_params")->title(), QString("Параметры пароля:"));
        QCOMPARE(child<QLabel>(dlg, "label_len")->text(), QString("Длина пароля:"));
        auto* spin = child<QSpinBox>(dlg, "spinBox_len");
        QCOMPARE(spin->minimum(), 4);
        QCOMPARE(spin->maximum(), 32);
        QCOMPARE(spin->value(), 10);
        QCOMPARE(child<QCheckBox>(dlg, "checkBox_ABC")->text(), QString("ПРОПИСНЫЕ (ABCDEF)"));
        QCOMPARE(child<QCheckBox>(dlg, "checkBox_abc")->text(), QString("строчные (abcdef)"));
        QCOMPARE(child<QCheckBox>(dlg, "checkBox_num")->text(), QString("Цифры (012345)"));
        QCOMPARE(child<QCheckBox>(dlg, "checkBox_symb")->text(), QString("Символы (~!@#$%)"));
        QVERIFY(!child<QCheckBox>(dlg, "checkBox_ABC")->isChecked());
        QVERIFY(child<QCheckBox>(dlg, "checkBox_abc")->isChecked());
        QVERIFY(child<QCheckBox>(dlg, "checkBox_num")->isChecked());
        QVERIFY(!child<QCheckBox>(dlg, "checkBox_symb")->isChecked());
        auto* line = child<QLineEdit>(dlg, "lineEdit_psw");
        QCOMPARE(line->toolTip(), QString("Сгенерированный пароль."));
        QCOMPARE(line->whatsThis(), QString("Созданный случайный пароль."));
        auto* gen = child<QToolButton>(dlg, "toolButton_gen");
        QCOMPARE(gen->toolTip(), QString("Обновить пароль."));
        QCOMPARE(gen->whatsThis(), QString("Создать новый пароль."));
        QVERIFY(!gen->icon().isNull());
        QCOMPARE(gen->iconSize(), QSize(32, 32));

        QCOMPARE(line->text().size(), 10);
        QVERIFY2(allFrom(line->text(), kLower + kDigits), qPrintable(line->text()));
        QCOMPARE(dlg.password(), line->text());
    }

    // Every combination of classes draws only from the chosen ones, at the
    // chosen length; over many draws every chosen class shows up.
    void classChoice_data()
    {
        QTest::addColumn<int>("mask");
        for (int mask = 1; mask < 16; ++mask)
            QTest::addRow("classes %d", mask) << mask;
    }
    void classChoice()
    {
        QFETCH(int, mask);
        GenPswDlg dlg(nullptr);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        const char* names[] = {"checkBox_ABC", "checkBox_abc", "checkBox_num", "checkBox_symb"};
        const QString alphabets[] = {kUpper, kLower, kDigits, kSymbols};
        QString alphabet;
        for (int i = 0; i < 4; ++i) {
            auto* box = child<QCheckBox>(dlg, names[i]);
            if (box->isChecked() != bool(mask & (1 << i)))
                QTest::mouseClick(box, Qt::LeftButton);
            if (mask & (1 << i))
                alphabet += alphabets[i];
        }
        auto* spin = child<QSpinBox>(dlg, "spinBox_len");
        spin->setValue(32);
        auto* line = child<QLineEdit>(dlg, "lineEdit_psw");
        auto* gen = child<QToolButton>(dlg, "toolButton_gen");
        QVERIFY(gen->isEnabled());
        QString seen;
        for (int i = 0; i < 40; ++i) {
            QTest::mouseClick(gen, Qt::LeftButton);
            QCOMPARE(line->text().size(), 32);
            QVERIFY2(allFrom(line->text(), alphabet), qPrintable(line->text()));
            QCOMPARE(dlg.password(), line->text());
            seen += line->text();
        }
        for (int i = 0; i < 4; ++i)
            if (mask & (1 << i))
                QVERIFY2(!QSet<QChar>(seen.begin(), seen.end()).intersect(
                             QSet<QChar>(alphabets[i].begin(), alphabets[i].end())).isEmpty(),
                         names[i]);
    }

    void fourDigits()
    {
        GenPswDlg dlg(nullptr);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        auto* spin = child<QSpinBox>(dlg, "spinBox_len");
        spin->selectAll();
        QTest::keyClicks(spin, "4");
        QCOMPARE(spin->value(), 4);
        QTest::mouseClick(child<QCheckBox>(dlg, "checkBox_abc"), Qt::LeftButton);
        const QString text = child<QLineEdit>(dlg, "lineEdit_psw")->text();
        QCOMPARE(text.size(), 4);
        QVERIFY2(allFrom(text, kDigits), qPrintable(text));
    }

    void noClassLeavesThePasswordEmpty()
    {
        GenPswDlg dlg(nullptr);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        auto* line = child<QLineEdit>(dlg, "lineEdit_psw");
        auto* gen = child<QToolButton>(dlg, "toolButton_gen");
        auto* spin = child<QSpinBox>(dlg, "spinBox_len");
        QTest::mouseClick(child<QCheckBox>(dlg, "checkBox_abc"), Qt::LeftButton);
        QVERIFY(gen->isEnabled());
        QTest::mouseClick(child<QCheckBox>(dlg, "checkBox_num"), Qt::LeftButton);
        QVERIFY(!gen->isEnabled());
        QVERIFY(line->text().isEmpty());
        QVERIFY(dlg.password().isEmpty());
        spin->setValue(7);
        QVERIFY(line->text().isEmpty());
        QVERIFY(dlg.password().isEmpty());
        QTest::mouseClick(child<QCheckBox>(dlg, "checkBox_symb"), Qt::LeftButton);
        QVERIFY(gen->isEnabled());
        QCOMPARE(line->text().size(), 7);
        QVERIFY(allFrom(line->text(), kSymbols));
    }

    void okReturnsTheEditedTextCancelRejects()
    {
        GenPswDlg dlg(nullptr);
        auto* line = child<QLineEdit>(dlg, "lineEdit_psw");
        auto* box = child<QDialogButtonBox>(dlg, "buttonBox");
        const QString generated = line->text();
        QTimer::singleShot(0, &dlg, [&] {
            line->setFocus();
            line->end(false);
            QTest::keyClick(line, Qt::Key_Backspace);
            QTest::keyClicks(line, "Z-\\");
            QTest::mouseClick(box->button(QDialogButtonBox::Ok), Qt::LeftButton);
        });
        QTimer::singleShot(5000, &dlg, &QDialog::reject); // never hang
        QCOMPARE(dlg.exec(), int(QDialog::Accepted));
        QCOMPARE(dlg.password(), generated.left(9) + "Z-\\");

        GenPswDlg other(nullptr);
        auto* otherBox = child<QDialogButtonBox>(other, "buttonBox");
        QTimer::singleShot(0, &other, [&] {
            QTest::keyClicks(child<QLineEdit>(other, "lineEdit_psw"), "abc");
            QTest::mouseClick(otherBox->button(QDialogButtonBox::Cancel), Qt::LeftButton);
        });
        QTimer::singleShot(5000, &other, &QDialog::accept);
        QCOMPARE(other.exec(), int(QDialog::Rejected));

        GenPswDlg third(nullptr);
        QTimer::singleShot(0, &third, [&] { QTest::keyClick(&third, Qt::Key_Escape); });
        QTimer::singleShot(5000, &third, &QDialog::accept);
        QCOMPARE(third.exec(), int(QDialog::Rejected));
    }

    // Typing: letters, digits and exactly the 23 symbols, at most 32 of them.
    void validator()
    {
        GenPswDlg dlg(nullptr);
        auto* line = child<QLineEdit>(dlg, "lineEdit_psw");
        line->clear();
        const QString allowed = kUpper + kLower + kDigits + kSymbols;
        QCOMPARE(kSymbols.size(), 23);
        for (QChar c : allowed) {
            line->clear();
            typeChar(line, c);
            QVERIFY2(line->text() == QString(c), qPrintable(QString("refused ") + c));
        }
        const QString refused = QString::fromUtf8(" \"'`[]{}:;жЖé\u00a0");
        for (QChar c : refused) {
            line->clear();
            typeChar(line, c);
            QVERIFY2(line->text().isEmpty(), qPrintable(QString("accepted ") + c));
        }
        line->clear();
        QTest::keyClicks(line, QString(32, 'a'));
        QCOMPARE(line->text().size(), 32);
        QTest::keyClicks(line, "b");
        QCOMPARE(line->text(), QString(32, 'a'));
    }

    // The toolkit's seeded generator has no part in it: the same toolkit seed
    // within the same second gives different passwords.
    void noClockSeed()
    {
        QSet<QString> seen;
        for (int i = 0; i < 50; ++i) {
            // A generator seeded by the toolkit would repeat itself here.
            QT_WARNING_PUSH
            QT_WARNING_DISABLE_DEPRECATED
            qsrand(12345);
            QT_WARNING_POP
            GenPswDlg dlg(nullptr);
            child<QSpinBox>(dlg, "spinBox_len")->setValue(32);
            seen.insert(dlg.password());
        }
        QCOMPARE(seen.size(), 50);
    }

    // What the dialog shows follows from the generator's bytes alone: bytes
    // from the largest multiple of the alphabet's size up are drawn again.
    void rejectionSampling()
    {
        // Lower case and digits: 36 characters, bytes 252..255 redrawn.
        const QByteArray script = QByteArray::fromHex("fcfdfeff" "00" "23" "fb" "24" "ff" "47" "48" "fc" "01");
        ScriptedGenerator gen(script);
        GenPswDlg dlg(nullptr);
        const QString alphabet = kLower + kDigits;
        // 0x00 -> 0, 0x23 -> 35, 0xfb = 251 -> 251 % 36 = 35, 0x24 -> 0,
        // 0x47 -> 35, 0x48 -> 0, 0x01 -> 1, then the script again.
        const QString expected = QString() + alphabet[0] + alphabet[35] + alphabet[35] + alphabet[0]
            + alphabet[35] + alphabet[0] + alphabet[1] + alphabet[0] + alphabet[35] + alphabet[35];
        QCOMPARE(dlg.password(), expected);

        QString out;
        g_script = QByteArray::fromHex("ff00");
        g_pos = 0;
        QVERIFY(GenPswDlg::randomText("ab", 3, out)); // 256 is a multiple of 2: nothing redrawn
        QCOMPARE(out, QString("bab"));
        g_script = QByteArray::fromHex("ffff02");
        g_pos = 0;
        QVERIFY(GenPswDlg::randomText("abc", 2, out)); // 255 redrawn, 2 -> 'c'
        QCOMPARE(out, QString("cc"));
    }

    void generatorFailureGivesNoPassword()
    {
        DebugCapture capture;
        {
            ScriptedGenerator gen(QByteArray("\x01", 1), true);
            GenPswDlg dlg(nullptr);
            QVERIFY(dlg.password().isEmpty());
            QVERIFY(child<QLineEdit>(dlg, "lineEdit_psw")->text().isEmpty());
            QString out = "x";
            QVERIFY(!GenPswDlg::randomText(kDigits, 5, out));
            QVERIFY(out.isEmpty());
        }
        QVERIFY(capture.texts().join('\n').contains("random generator failed"));
    }

    void randomTextBounds()
    {
        QString out = "x";
        QVERIFY(!GenPswDlg::randomText(QString(), 4, out));
        QVERIFY(out.isEmpty());
        QVERIFY(!GenPswDlg::randomText("abc", -1, out));
        QVERIFY(!GenPswDlg::randomText(QString(257, 'a'), 4, out));
        QVERIFY(GenPswDlg::randomText("abc", 0, out));
        QVERIFY(out.isEmpty());
        QVERIFY(GenPswDlg::randomText("q", 6, out));
        QCOMPARE(out, QString("qqqqqq"));
        QString wide;
        for (int i = 0; i < 256; ++i)
            wide += QChar(0x100 + i);
        QVERIFY(GenPswDlg::randomText(wide, 1000, out));
        QCOMPARE(out.size(), 1000);
        QVERIFY(allFrom(out, wide));
    }

    // Over a million draws every character is equally likely (a chi-square
    // bound far above chance, far below what a modulo bias gives).
    void unbiased_data()
    {
        QTest::addColumn<QString>("alphabet");
        QTest::newRow("digits") << kDigits;
        QTest::newRow("symbols") << kSymbols;
        QTest::newRow("lower and digits") << kLower + kDigits;
        QTest::newRow("letters and digits") << kUpper + kLower + kDigits;
        QTest::newRow("all") << kUpper + kLower + kDigits + kSymbols;
    }
    void unbiased()
    {
        QFETCH(QString, alphabet);
        const int draws = 1000000;
        QString out;
        QVERIFY(GenPswDlg::randomText(alphabet, draws, out));
        QCOMPARE(out.size(), draws);
        QHash<QChar, int> counts;
        for (QChar c : out)
            ++counts[c];
        QCOMPARE(counts.size(), alphabet.size());
        const double expected = double(draws) / alphabet.size();
        double chi2 = 0;
        for (QChar c : alphabet) {
            const double d = counts.value(c) - expected;
            chi2 += d * d / expected;
        }
        const double df = alphabet.size() - 1;
        const double bound = df + 8 * std::sqrt(2 * df);
        QVERIFY2(chi2 < bound, qPrintable(QString("chi2 %1 >= %2").arg(chi2).arg(bound)));
    }

    void destructorIsReportedPasswordNever()
    {
        DebugCapture capture;
        QString password;
        {
            GenPswDlg dlg(nullptr);
            password = dlg.password();
            QTest::mouseClick(child<QToolButton>(dlg, "toolButton_gen"), Qt::LeftButton);
            password += dlg.password();
        }
        QVERIFY(capture.texts().contains("GenPswDlg::~GenPswDlg"));
        for (const QString& line : capture.texts())
            QVERIFY2(!line.contains(password.left(10)) && !line.contains(password.mid(10)), qPrintable(line));
    }
};

QTEST_MAIN(TestGenPswDlg)
#include "tst_genpswdlg.moc"
