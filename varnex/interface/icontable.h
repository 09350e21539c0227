#pragma once
// The pictures a category or a card may carry: resource paths, in the order
// the icon chooser offers them (the first is its initial choice).

#include <QStringList>

// The 21 paths; made on first use and kept until the program ends.
const QStringList& iconTable();
