#include "quorvel/interface/SchemeTable.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPixmap>
#include <QTableWidget>

#include "nbi/nbModule.h"

namespace {

const char* const NormalStyle = "background-color: white; color: black; border: 1px solid black;";
const char* const CurrentStyle = "background-color: white; color: red; border: 2px solid black;";

QString tr(const char* text) { return QCoreApplication::translate("SchemeTable", text); }

QLabel* textCell(const QString& text)
{
    QLabel* label = new QLabel(text);
    label->setAlignment(Qt::AlignCenter);
    label->setStyleSheet(QLatin1String(NormalStyle));
    return label;
}

QLabel* pictureCell(const char* path)
{
    QLabel* label = new QLabel;
    label->setPixmap(QPixmap(QLatin1String(path)));
    return label;
}

using Factory = QLabel* (*)();

// One diagram row: a factory per column, null for an empty cell.
struct Layout {
    int rows;
    int cols;
    Factory cells[3][7];
};

QLabel* handwriting() { return makeTechnologyCell(CLSID_HandwritingProvider2); }
QLabel* fingerprint() { return makeTechnologyCell(CLSID_FingerprintProvider); }

// S -> A -> E, S -> A -> B -> E, and the fork S => A | B => E.
constexpr Layout one(Factory a)
{
    return {1, 5, {{makeStartCell, makeArrowCell, a, makeArrowCell, makeEndCell}}};
}
constexpr Layout both(Factory a, Factory b)
{
    return {1, 7, {{makeStartCell, makeArrowCell, a, makeArrowCell, b, makeArrowCell, makeEndCell}}};
}
constexpr Layout either(Factory a, Factory b)
{
    return {3, 5,
            {{makeStartCell, makeLeftCrossUpperCell, a, makeRightCrossUpperCell, makeEndCell},
             {nullptr, makeVArrowCell, nullptr, makeVArrowCell, nullptr},
             {nullptr, makeLeftCrossLowerCell, b, makeRightCrossLowerCell, nullptr}}};
}

const Layout Layouts[8] = {
    one(handwriting),
    one(fingerprint),
    both(handwriting, fingerprint),
    either(handwriting, fingerprint),
    both(handwriting, handwriting),
    both(fingerprint, fingerprint),
    either(handwriting, handwriting),
    either(fingerprint, fingerprint),
};

} // namespace

QLabel* makeStartCell() { return textCell(tr("Начало")); }
QLabel* makeEndCell() { return textCell(tr("Конец")); }

QLabel* makeTechnologyCell(const Nb::Uuid& classId)
{
    if (classId == CLSID_HandwritingProvider2)
        return textCell(tr("Рукописный ввод"));
    if (classId == CLSID_FingerprintProvider)
        return textCell(tr("Отпечаток пальца"));
    return textCell(tr("Неизвестная технология"));
}

QLabel* makeArrowCell() { return pictureCell(":/res/arrow.png"); }
QLabel* makeVArrowCell() { return pictureCell(":/res/varrow.png"); }
QLabel* makeLeftCrossUpperCell() { return pictureCell(":/res/left-cross-upper-arrow.png"); }
QLabel* makeLeftCrossLowerCell() { return pictureCell(":/res/left-cross-lower-arrow.png"); }
QLabel* makeRightCrossUpperCell() { return pictureCell(":/res/right-cross-upper-arrow.png"); }
QLabel* makeRightCrossLowerCell() { return pictureCell(":/res/right-cross-lower-arrow.png"); }

bool buildSchemeTable(int number, QTableWidget* table)
{
    if (!table || unsigned(number) > 7)
        return false;
    const Layout& layout = Layouts[number];
    table->setRowCount(layout.rows);
    table->setColumnCount(layout.cols);
    for (int r = 0; r < layout.rows; ++r)
        for (int c = 0; c < layout.cols; ++c) {
            // Cells the layout leaves empty lose whatever an earlier build
            // put there.
            if (Factory make = layout.cells[r][c])
                table->setCellWidget(r, c, make());
            else
                table->removeCellWidget(r, c);
        }
    return fitSchemeTable(table);
}

bool fitSchemeTable(QTableWidget* table)
{
    const int w = table->width();
    const int cols = table->columnCount();
    // The headers are hidden, but their minimum section size would still
    // widen the arrow columns and the thin connector row.
    table->horizontalHeader()->setMinimumSectionSize(0);
    table->verticalHeader()->setMinimumSectionSize(0);
    for (int r = 0; r < table->rowCount(); ++r)
        table->setRowHeight(r, r % 2 == 0 ? 24 : 2);
    for (int c = 1; c < cols; c += 2)
        table->setColumnWidth(c, 32);
    // Two end columns of 72 and the arrow columns of 32; the rest is shared
    // by the technology columns. Only 5 and 7 columns leave a divisor.
    const int share = (cols + 1) / 2 - 2;
    if (share > 0) {
        const int width = qMax(0, (w - 128 - 16 * cols) / share);
        for (int c = 2; c < cols - 1; c += 2)
            table->setColumnWidth(c, width);
    }
    if (cols > 0) {
        table->setColumnWidth(0, 72);
        table->setColumnWidth(cols - 1, 72);
    }
    return true;
}

bool clearCurrentInput(QTableWidget* table)
{
    const int cols = table->columnCount();
    for (int r = 0; r < table->rowCount(); r += 2)
        for (int c = 2; c < cols - 2; c += 2)
            if (QWidget* cell = table->cellWidget(r, c))
                cell->setStyleSheet(QLatin1String(NormalStyle));
    return true;
}

bool markCurrentInput(int position, int state, QTableWidget* table)
{
    // Input cells are counted column by column, top to bottom.
    const int rows = table->rowCount();
    const int cols = table->columnCount();
    int row = 0, col = 2, count = 0;
    while (count != position) {
        if (row < rows - 1) {
            row += 2;
            if (table->cellWidget(row, col))
                ++count;
        } else {
            if (col >= cols - 3)
                return false;
            col += 2;
            row = 0;
            ++count;
        }
    }
    QWidget* cell = table->cellWidget(row, col);
    if (!cell)
        return true;
    if (state < 0 || state > 2)
        return false;
    if (state == 2)
        cell->setStyleSheet(QLatin1String(CurrentStyle));
    return true;
}
