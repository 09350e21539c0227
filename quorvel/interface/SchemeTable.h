#pragma once
// The authentication scheme of a container drawn as a small diagram in a
// table widget of the caller's form: a start cell, one cell per biometric
// input naming its technology, an end cell and arrow pictures between them.
// Inputs entered one after the other stand in one row; alternatives stand
// in rows 0 and 2, joined by forks and merges across the thin row 1. The
// cell of the input to be entered now is drawn in the current-cell style.

#include "qtnb/Uuid.h"

class QLabel;
class QTableWidget;

// Standard scheme 0..7; false, with the table untouched, for any other.
bool buildSchemeTable(int number, QTableWidget* table);
// Row heights and column widths from the table's current width; tables of
// 5 or 7 columns.
bool fitSchemeTable(QTableWidget* table);
bool clearCurrentInput(QTableWidget* table);
// state 2 marks the input at position; 0 and 1 change nothing.
bool markCurrentInput(int position, int state, QTableWidget* table);

QLabel* makeStartCell();
QLabel* makeEndCell();
QLabel* makeTechnologyCell(const Nb::Uuid& classId);
QLabel* makeArrowCell();
QLabel* makeVArrowCell();
QLabel* makeLeftCrossUpperCell();
QLabel* makeLeftCrossLowerCell();
QLabel* makeRightCrossUpperCell();
QLabel* makeRightCrossLowerCell();
