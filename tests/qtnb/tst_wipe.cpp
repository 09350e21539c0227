#include "qtnb/Matrix.h"
#include "qtnb/Wipe.h"

#include <QtTest>

#include <cstring>
#include <vector>

namespace {

bool allZero(const void* data, size_t n)
{
    const auto* p = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < n; ++i)
        if (p[i])
            return false;
    return true;
}

} // namespace

class TestWipe : public QObject {
    Q_OBJECT
private slots:
    // What a shrunk container held beyond its size is wiped too.
    void wholeCapacity()
    {
        QByteArray bytes(64, 'k');
        bytes.resize(8);
        QVERIFY(bytes.capacity() >= 64);
        Nb::wipeInPlace(bytes);
        QVERIFY(allZero(bytes.constData(), size_t(bytes.capacity())));

        QString text(32, QLatin1Char('p'));
        text.resize(2);
        Nb::wipeInPlace(text);
        QVERIFY(allZero(text.constData(), size_t(text.capacity()) * sizeof(QChar)));

        std::vector<uint8_t> items(48, 0xAA);
        items.resize(4);
        const uint8_t* block = items.data();
        const size_t capacity = items.capacity();
        Nb::wipe(items);
        QVERIFY(items.empty() && items.data() == block);
        QVERIFY(allZero(block, capacity));

        // Three columns, shrunk to one: the two beyond are cells still.
        Nb::Matrix m(3, Nb::Meta(64, Nb::MfI8, Nb::MtDO));
        for (int c = 0; c < 3; ++c)
            std::memset(m.at(0, c), 0x5A, 64);
        QVERIFY(m.resize(1));
        Nb::wipe(m);
        for (int c = 0; c < 3; ++c)
            QVERIFY(allZero(m.data()[0][c].at(0), 64));
    }

    // A buffer someone else still holds is left to that owner.
    void sharedLeftToOtherOwner()
    {
        QByteArray mine(16, 's');
        const QByteArray theirs = mine;
        Nb::wipe(mine);
        QVERIFY(mine.isEmpty());
        QCOMPARE(theirs, QByteArray(16, 's'));

        QString text(8, QLatin1Char('t'));
        const QString other = text;
        Nb::wipe(text);
        QVERIFY(text.isEmpty());
        QCOMPARE(other, QString(8, QLatin1Char('t')));
    }
};

QTEST_GUILESS_MAIN(TestWipe)
#include "tst_wipe.moc"
