#include "qtnb/Handed.h"

#include <QtTest>

#include <memory>

namespace {

QList<int*> g_freed;

void freeInt(int* p)
{
    g_freed << p;
    delete p;
}

using Registry = Nb::Handed<int, freeInt>;

} // namespace

class TestHanded : public QObject {
    Q_OBJECT
private slots:
    // Each buffer goes back once, only to its own registry; what is not given
    // back is freed with the registry.
    void givenBackOnceThenFreedWithRegistry()
    {
        g_freed.clear();
        const std::unique_ptr<int> foreign(new int(0));
        int* kept = nullptr;
        {
            Registry handed;
            int* back = handed.add(new int(1));
            kept = handed.add(new int(2));
            QVERIFY(handed.holds(back) && handed.holds(kept));
            QVERIFY(handed.giveBack(back));
            QCOMPARE(g_freed, QList<int*>{back});
            QVERIFY(!handed.holds(back));
            QVERIFY(!handed.giveBack(back));
            QVERIFY(!handed.giveBack(foreign.get()));
            QVERIFY(!handed.giveBack(nullptr));
            QCOMPARE(g_freed.size(), 1);
        }
        QCOMPARE(g_freed.size(), 2);
        QCOMPARE(g_freed.last(), kept);
    }
};

QTEST_GUILESS_MAIN(TestHanded)
#include "tst_handed.moc"
