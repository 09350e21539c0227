#include "quorvel/interface/SchemeTable.h"

#include <QLabel>
#include <QTableWidget>
#include <QtTest>

namespace {

const char* const Normal = "background-color: white; color: black; border: 1px solid black;";
const char* const Current = "background-color: white; color: red; border: 2px solid black;";

// The table cell by cell, rows joined by "|": S start, E end, H and F the
// technology cells, > arrow, v connector, the forks u l and merges U L,
// . empty.
QString picture(QTableWidget& t)
{
    const QMap<QString, QString> arrows{{":/res/arrow.png", ">"},
                                        {":/res/varrow.png", "v"},
                                        {":/res/left-cross-upper-arrow.png", "u"},
                                        {":/res/left-cross-lower-arrow.png", "l"},
                                        {":/res/right-cross-upper-arrow.png", "U"},
                                        {":/res/right-cross-lower-arrow.png", "L"}};
    const QMap<QString, QString> texts{{"Начало", "S"}, {"Конец", "E"}, {"Рукописный ввод", "H"},
                                       {"Отпечаток пальца", "F"}};
    QStringList rows;
    for (int r = 0; r < t.rowCount(); ++r) {
        QString row;
        for (int c = 0; c < t.columnCount(); ++c) {
            auto* label = qobject_cast<QLabel*>(t.cellWidget(r, c));
            if (!label) {
                row += '.';
                continue;
            }
            QString kind = texts.value(label->text(), "?");
            for (auto a = arrows.begin(); a != arrows.end(); ++a)
                if (!label->pixmap(Qt::ReturnByValue).isNull()
                    && label->pixmap(Qt::ReturnByValue).cacheKey() == QPixmap(a.key()).cacheKey())
                    kind = a.value();
            row += kind;
        }
        rows << row;
    }
    return rows.join('|');
}

QList<QPoint> marked(QTableWidget& t)
{
    QList<QPoint> cells;
    for (int r = 0; r < t.rowCount(); ++r)
        for (int c = 0; c < t.columnCount(); ++c)
            if (t.cellWidget(r, c) && t.cellWidget(r, c)->styleSheet() == QLatin1String(Current))
                cells << QPoint(r, c);
    return cells;
}

} // namespace

class TestSchemeTable : public QObject {
    Q_OBJECT

private slots:
    void layouts_data()
    {
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("cells");
        QTest::addColumn<int>("technologyWidth"); // of a table 528 wide
        QTest::newRow("0") << 0 << "S>H>E" << 320;
        QTest::newRow("1") << 1 << "S>F>E" << 320;
        QTest::newRow("2") << 2 << "S>H>F>E" << 144;
        QTest::newRow("3") << 3 << "SuHUE|.v.v.|.lFL." << 320;
        QTest::newRow("4") << 4 << "S>H>H>E" << 144;
        QTest::newRow("5") << 5 << "S>F>F>E" << 144;
        QTest::newRow("6") << 6 << "SuHUE|.v.v.|.lHL." << 320;
        QTest::newRow("7") << 7 << "SuFUE|.v.v.|.lFL." << 320;
    }
    void layouts()
    {
        QFETCH(int, number);
        QFETCH(QString, cells);
        QFETCH(int, technologyWidth);
        QTableWidget table(1, 7);
        table.resize(528, 72);
        buildSchemeTable(2, &table); // what was drawn before goes
        QVERIFY(buildSchemeTable(number, &table));
        QCOMPARE(picture(table), cells);
        QList<int> widths, heights;
        for (int c = 0; c < table.columnCount(); ++c)
            widths << table.columnWidth(c);
        for (int r = 0; r < table.rowCount(); ++r)
            heights << table.rowHeight(r);
        QList<int> expected{72, 32, technologyWidth, 32};
        if (table.columnCount() == 7)
            expected << technologyWidth << 32;
        QCOMPARE(widths, expected << 72);
        QCOMPARE(heights, (table.rowCount() == 1 ? QList<int>{24} : QList<int>{24, 2, 24}));
        for (auto* label : table.findChildren<QLabel*>())
            if (!label->text().isEmpty())
                QCOMPARE(label->styleSheet(), QString(Normal));
    }

    void unknownNumberLeavesTable()
    {
        QTableWidget table;
        buildSchemeTable(3, &table);
        for (int number : {-1, 8}) {
            QVERIFY(!buildSchemeTable(number, &table));
            QCOMPARE(picture(table), QString("SuHUE|.v.v.|.lFL."));
        }
    }

    void marking_data()
    {
        QTest::addColumn<int>("number");
        QTest::addColumn<int>("position");
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("result");
        QTest::addColumn<QList<QPoint>>("cells");
        QTest::newRow("first") << 0 << 0 << 2 << true << QList<QPoint>{{0, 2}};
        QTest::newRow("second in a row") << 4 << 1 << 2 << true << QList<QPoint>{{0, 4}};
        QTest::newRow("lower branch") << 3 << 1 << 2 << true << QList<QPoint>{{2, 2}};
        QTest::newRow("beyond the branches") << 3 << 2 << 2 << false << QList<QPoint>{};
        QTest::newRow("beyond the row") << 0 << 1 << 2 << false << QList<QPoint>{};
        QTest::newRow("state 1") << 2 << 0 << 1 << true << QList<QPoint>{};
        QTest::newRow("state 3") << 2 << 0 << 3 << false << QList<QPoint>{};
    }
    void marking()
    {
        QFETCH(int, number);
        QFETCH(int, position);
        QFETCH(int, state);
        QFETCH(bool, result);
        QFETCH(QList<QPoint>, cells);
        QTableWidget table;
        buildSchemeTable(number, &table);
        markCurrentInput(1, 2, &table);
        clearCurrentInput(&table);
        QVERIFY(marked(table).isEmpty());
        QCOMPARE(markCurrentInput(position, state, &table), result);
        QCOMPARE(marked(table), cells);
    }

    void unknownTechnology()
    {
        QScopedPointer<QLabel> cell(makeTechnologyCell(Nb::Uuid("{00000001-0002-0003-0405-060708090a0b}")));
        QCOMPARE(cell->text(), QString("Неизвестная технология"));
    }

    // The pieces of a fork join across the thin connector row: the
    // vertical line of each runs through the same two columns.
    void arrowsJoin()
    {
        const auto columnsAt = [](const char* path, int y) {
            const QImage image = QPixmap(path).toImage();
            QList<int> inked;
            for (int x = 0; x < image.width(); ++x)
                if (qAlpha(image.pixel(x, y)) > 0)
                    inked << x;
            return inked;
        };
        const QList<int> middle{15, 16};
        QCOMPARE(columnsAt(":/res/left-cross-upper-arrow.png", 27), middle);  // last row shown in a 24-pixel row
        QCOMPARE(columnsAt(":/res/varrow.png", 15), middle);                  // rows shown in the 2-pixel row
        QCOMPARE(columnsAt(":/res/varrow.png", 16), middle);
        QCOMPARE(columnsAt(":/res/left-cross-lower-arrow.png", 4), middle);   // first row shown
        QCOMPARE(columnsAt(":/res/right-cross-upper-arrow.png", 27), middle);
        QCOMPARE(columnsAt(":/res/right-cross-lower-arrow.png", 4), middle);
    }
};

QTEST_MAIN(TestSchemeTable)
#include "tst_schemetable.moc"
