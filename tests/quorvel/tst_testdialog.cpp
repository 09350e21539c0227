#include "quorvel/interface/TestDialog.h"
#include "quorvel/interface/WizardTools.h"

#include <QtTest>

class TestTestDialog : public QObject {
    Q_OBJECT

private slots:
    // The code against the key it was trained for: over the shorter of the
    // two, the bits beyond it counted as different.
    void differences_data()
    {
        QTest::addColumn<int>("codeBytes");
        QTest::addColumn<int>("keyBytes");
        QTest::addColumn<QList<int>>("flipped"); // bits of the code
        QTest::addColumn<QString>("verdict");
        QTest::newRow("same") << 32 << 32 << QList<int>{} << "Пользователь определен как СВОЙ";
        QTest::newRow("one bit") << 32 << 32 << QList<int>{255} << "Пользователь определен как ЧУЖОЙ\r\n1 не совпало";
        QTest::newRow("five bits") << 20 << 20 << QList<int>{0, 1, 8, 9, 159}
                                   << "Пользователь определен как ЧУЖОЙ\r\n5 не совпало";
        QTest::newRow("code longer") << 21 << 20 << QList<int>{} << "Пользователь определен как ЧУЖОЙ\r\n8 не совпало";
        QTest::newRow("key longer") << 20 << 22 << QList<int>{3} << "Пользователь определен как ЧУЖОЙ\r\n17 не совпало";
    }
    void differences()
    {
        QFETCH(int, codeBytes);
        QFETCH(int, keyBytes);
        QFETCH(QList<int>, flipped);
        QFETCH(QString, verdict);
        QByteArray key(keyBytes, '\0');
        for (int i = 0; i < keyBytes; ++i)
            key[i] = char(i * 37 + 5);
        QByteArray codeBytesOf = key.left(codeBytes).leftJustified(codeBytes, '\x5a');
        for (int bit : flipped)
            codeBytesOf[bit / 8] = char(codeBytesOf[bit / 8] ^ (1 << (bit % 8)));
        Nb::Matrix code, expected;
        keyToCode(codeBytesOf, code);
        keyToCode(key, expected);
        const int n = TestDialog::countDifferences(code, 8 * codeBytes, expected, 8 * keyBytes);
        QCOMPARE(TestDialog::verdictText(n), verdict);
    }
};

QTEST_MAIN(TestTestDialog)
#include "tst_testdialog.moc"
