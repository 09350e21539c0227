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
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <openssl/rand.h>

#include <cmath>

namespace {

const QString kAlphabets[] = {"ABCDEFGHIJKLMNOPQRSTUVWXYZ", "abcdefghijklmnopqrstuvwxyz", "0123456789",
                              "~!@#$%^&*()-+=_,.<>?/\\|"};
const char* kBoxes[] = {"checkBox_ABC", "checkBox_abc", "checkBox_num", "checkBox_symb"};

// A generator whose bytes the test chooses (the script over and over), or
// one that fails, for the lifetime of the object.
QByteArray g_script;
int g_pos = 0;
int scriptedBytes(unsigned char* buf, int n)
{
    if (g_script.isEmpty())
        return 0;
    for (int i = 0; i < n; ++i)
        buf[i] = static_cast<unsigned char>(g_script.at(g_pos++ % g_script.size()));
    return 1;
}
RAND_METHOD g_scripted{nullptr, scriptedBytes, nullptr, nullptr, scriptedBytes, []() { return 1; }};
struct ScriptedGenerator {
    const RAND_METHOD* old = RAND_get_rand_method();
    explicit ScriptedGenerator(const QByteArray& script)
    {
        g_script = script;
        g_pos = 0;
        RAND_set_rand_method(&g_scripted);
    }
    ~ScriptedGenerator() { RAND_set_rand_method(old); }
};

QImage picture(const QIcon& icon)
{
    return icon.pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32);
}

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
        QVERIFY(!dlg.windowIcon().isNull() && !child<QToolButton>(dlg, "toolButton_gen")->icon().isNull());
        const QString text = child<QLineEdit>(dlg, "lineEdit_psw")->text();
        QCOMPARE(text.size(), 10);
        QVERIFY2(allFrom(text, kAlphabets[1] + kAlphabets[2]), qPrintable(text));
        QCOMPARE(dlg.password(), text);
    }

    // The form as the user meets it: texts, help, ranges and defaults.
    void form()
    {
        GenPswDlg dlg(nullptr);
        QCOMPARE(dlg.size(), QSize(227, 245));
        QCOMPARE(picture(dlg.windowIcon()), picture(QIcon(":/icons/main-icon")));
        auto* title = child<QLabel>(dlg, "label_main");
        QCOMPARE(title->text(), QString("Генератор паролей"));
        QCOMPARE(title->alignment(), Qt::AlignCenter);
        auto* line = child<QLineEdit>(dlg, "lineEdit_psw");
        QCOMPARE(line->alignment(), Qt::AlignCenter);
        QCOMPARE(line->toolTip(), QString("Сгенерированный пароль."));
        QCOMPARE(line->whatsThis(), QString("Созданный случайный пароль."));
        QCOMPARE(child<QGroupBox>(dlg, "groupBox_params")->title(), QString("Параметры пароля:"));
        QCOMPARE(child<QLabel>(dlg, "label_len")->text(), QString("Длина пароля:"));
        auto* spin = child<QSpinBox>(dlg, "spinBox_len");
        QVERIFY(spin->minimum() == 4 && spin->maximum() == 32 && spin->value() == 10);
        const char* texts[] = {"ПРОПИСНЫЕ (ABCDEF)", "строчные (abcdef)", "Цифры (012345)", "Символы (~!@#$%)"};
        const bool checked[] = {false, true, true, false};
        for (int i = 0; i < 4; ++i) {
            auto* box = child<QCheckBox>(dlg, kBoxes[i]);
            QCOMPARE(box->text(), QString(texts[i]));
            QCOMPARE(box->isChecked(), checked[i]);
        }
        auto* gen = child<QToolButton>(dlg, "toolButton_gen");
        QCOMPARE(gen->iconSize(), QSize(32, 32));
        QCOMPARE(picture(gen->icon()), picture(QIcon(":/32/tango/buttons/refresh")));
        QCOMPARE(gen->toolTip(), QString("Обновить пароль."));
        QCOMPARE(gen->whatsThis(), QString("Создать новый пароль."));
        auto* box = child<QDialogButtonBox>(dlg, "buttonBox");
        QCOMPARE(box->standardButtons(), QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
        QVERIFY(box->centerButtons() && box->orientation() == Qt::Horizontal);
    }

    // Clicking the boxes to any combination draws only from the chosen
    // classes, at the chosen length, and over many draws from all of them.
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
        QString alphabet;
        for (int i = 0; i < 4; ++i) {
            auto* box = child<QCheckBox>(dlg, kBoxes[i]);
            if (box->isChecked() != bool(mask & (1 << i)))
                QTest::mouseClick(box, Qt::LeftButton);
            if (mask & (1 << i))
                alphabet += kAlphabets[i];
        }
        auto* spin = child<QSpinBox>(dlg, "spinBox_len");
        spin->selectAll();
        QTest::keyClicks(spin, "32");
        auto* line = child<QLineEdit>(dlg, "lineEdit_psw");
        QString seen;
        for (int i = 0; i < 40; ++i) {
            QTest::mouseClick(child<QToolButton>(dlg, "toolButton_gen"), Qt::LeftButton);
            QCOMPARE(line->text().size(), 32);
            QVERIFY2(allFrom(line->text(), alphabet), qPrintable(line->text()));
            QCOMPARE(dlg.password(), line->text());
            seen += line->text();
        }
        for (int i = 0; i < 4; ++i)
            if (mask & (1 << i))
                QVERIFY2(std::any_of(seen.begin(), seen.end(), [&](QChar c) { return kAlphabets[i].contains(c); }),
                         kBoxes[i]);
    }

    void noClassLeavesThePasswordEmpty()
    {
        GenPswDlg dlg(nullptr);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        auto* line = child<QLineEdit>(dlg, "lineEdit_psw");
        auto* gen = child<QToolButton>(dlg, "toolButton_gen");
        QTest::mouseClick(child<QCheckBox>(dlg, "checkBox_abc"), Qt::LeftButton);
        QTest::mouseClick(child<QCheckBox>(dlg, "checkBox_num"), Qt::LeftButton);
        QVERIFY(!gen->isEnabled() && line->text().isEmpty() && dlg.password().isEmpty());
        child<QSpinBox>(dlg, "spinBox_len")->setValue(4);
        QVERIFY(line->text().isEmpty() && dlg.password().isEmpty());
        QTest::mouseClick(child<QCheckBox>(dlg, "checkBox_num"), Qt::LeftButton);
        QVERIFY(gen->isEnabled());
        QCOMPARE(line->text().size(), 4);
        QVERIFY(allFrom(line->text(), kAlphabets[2]));
    }

    void okReturnsTheEditedTextCancelAndEscapeReject()
    {
        GenPswDlg dlg(nullptr);
        auto* line = child<QLineEdit>(dlg, "lineEdit_psw");
        const QString generated = line->text();
        QTimer::singleShot(0, &dlg, [&] {
            line->end(false);
            QTest::keyClick(line, Qt::Key_Backspace);
            QTest::keyClicks(line, "Z-\\");
            QTest::mouseClick(child<QDialogButtonBox>(dlg, "buttonBox")->button(QDialogButtonBox::Ok),
                              Qt::LeftButton);
        });
        QTimer::singleShot(5000, &dlg, [&] { dlg.done(-1); }); // never hang
        QCOMPARE(dlg.exec(), int(QDialog::Accepted));
        QCOMPARE(dlg.password(), generated.left(9) + "Z-\\");

        for (bool escape : {false, true}) {
            GenPswDlg other(nullptr);
            QTimer::singleShot(0, &other, [&] {
                if (escape)
                    QTest::keyClick(&other, Qt::Key_Escape);
                else
                    QTest::mouseClick(child<QDialogButtonBox>(other, "buttonBox")->button(QDialogButtonBox::Cancel),
                                      Qt::LeftButton);
            });
            QTimer::singleShot(5000, &other, [&] { other.done(-1); });
            QCOMPARE(other.exec(), int(QDialog::Rejected));
        }
    }

    // Typing: letters, digits and exactly the 23 symbols (the minus and the
    // backslash among them), at most 32 characters.
    void validator()
    {
        GenPswDlg dlg(nullptr);
        auto* line = child<QLineEdit>(dlg, "lineEdit_psw");
        for (QChar c : kAlphabets[0] + kAlphabets[1] + kAlphabets[2] + kAlphabets[3]) {
            line->clear();
            typeChar(line, c);
            QVERIFY2(line->text() == QString(c), qPrintable(QString("refused ") + c));
        }
        for (QChar c : QString::fromUtf8(" \"'`[]{}:;жЖé\u00a0")) {
            line->clear();
            typeChar(line, c);
            QVERIFY2(line->text().isEmpty(), qPrintable(QString("accepted ") + c));
        }
        line->setText(QString(32, 'a'));
        typeChar(line, 'b');
        QCOMPARE(line->text(), QString(32, 'a'));
    }

    // The toolkit's seeded generator has no part: the same toolkit seed in
    // the same second gives a new password each time.
    void noClockSeed()
    {
        QSet<QString> seen;
        for (int i = 0; i < 50; ++i) {
            QT_WARNING_PUSH
            QT_WARNING_DISABLE_DEPRECATED
            qsrand(12345);
            QT_WARNING_POP
            GenPswDlg dlg(nullptr);
            seen.insert(dlg.password());
        }
        QCOMPARE(seen.size(), 50);
    }

    // What the dialog shows follows from the generator's bytes alone: bytes
    // from the largest multiple of the alphabet's size up are drawn again.
    void rejectionSampling()
    {
        {
            // 36 characters: 252..255 redrawn; 251 = 6 * 36 + 35.
            ScriptedGenerator gen(QByteArray::fromHex("fcfdfeff0023fb24ff4748fc01"));
            GenPswDlg dlg(nullptr);
            QCOMPARE(dlg.password(), QString("a99a9aba99"));
            QString out;
            g_script = QByteArray::fromHex("ff00");
            QVERIFY(GenPswDlg::randomText("ab", 3, out)); // 256 = 128 * 2: nothing redrawn
            QCOMPARE(out, QString("bab"));
            g_script = QByteArray::fromHex("ffff02");
            g_pos = 0;
            QVERIFY(GenPswDlg::randomText("abc", 2, out));
            QCOMPARE(out, QString("cc"));
        }
        DebugCapture capture;
        ScriptedGenerator failing{QByteArray()};
        GenPswDlg dlg(nullptr);
        QVERIFY(dlg.password().isEmpty() && child<QLineEdit>(dlg, "lineEdit_psw")->text().isEmpty());
        QString out = "x";
        QVERIFY(!GenPswDlg::randomText("0123", 5, out) && out.isEmpty());
        QVERIFY(capture.texts().join('\n').contains("random generator failed"));
    }

    void randomTextBounds()
    {
        QString out = "x";
        QVERIFY(!GenPswDlg::randomText(QString(), 4, out) && out.isEmpty());
        QVERIFY(!GenPswDlg::randomText("abc", -1, out));
        QVERIFY(!GenPswDlg::randomText(QString(257, 'a'), 4, out));
        QVERIFY(GenPswDlg::randomText("abc", 0, out) && out.isEmpty());
        QVERIFY(GenPswDlg::randomText("q", 6, out) && out == "qqqqqq");
        QString wide;
        for (int i = 0; i < 256; ++i)
            wide += QChar(0x100 + i);
        QVERIFY(GenPswDlg::randomText(wide, 1000, out) && out.size() == 1000 && allFrom(out, wide));
    }

    // Over a million draws every character is equally likely: a chi-square
    // bound far above chance and far below what a modulo bias gives.
    void unbiased_data()
    {
        QTest::addColumn<QString>("alphabet");
        QTest::newRow("digits") << kAlphabets[2];
        QTest::newRow("symbols") << kAlphabets[3];
        QTest::newRow("lower and digits") << kAlphabets[1] + kAlphabets[2];
        QTest::newRow("all") << kAlphabets[0] + kAlphabets[1] + kAlphabets[2] + kAlphabets[3];
    }
    void unbiased()
    {
        QFETCH(QString, alphabet);
        const int draws = 1000000;
        QString out;
        QVERIFY(GenPswDlg::randomText(alphabet, draws, out));
        QHash<QChar, int> counts;
        for (QChar c : out)
            ++counts[c];
        QCOMPARE(counts.size(), alphabet.size());
        const double expected = double(draws) / alphabet.size();
        double chi2 = 0;
        for (int n : counts)
            chi2 += (n - expected) * (n - expected) / expected;
        const double df = alphabet.size() - 1;
        QVERIFY2(chi2 < df + 8 * std::sqrt(2 * df), qPrintable(QString::number(chi2)));
    }

    void destructorIsReportedPasswordNever()
    {
        DebugCapture capture;
        QString password;
        {
            GenPswDlg dlg(nullptr);
            password = dlg.password();
        }
        QVERIFY(capture.texts().contains("GenPswDlg::~GenPswDlg"));
        for (const QString& line : capture.texts())
            QVERIFY2(!line.contains(password), qPrintable(line));
    }
};

QTEST_MAIN(TestGenPswDlg)
#include "tst_genpswdlg.moc"
