#include "varnex/interface/cards/cardnote.h"

#include "varnex/interface/cards/cardform.h"

namespace {

using namespace CardTable;

// The note is a text edit, although its name says line edit.
const Field fields[] = {
    {"Текст заметки", "lineEdit_note", Editor::Text, NoFlags, "label_note", "STR_NOTE_NOTE", 0, 1,
     {{"toolButton_note", noteIcon, 1, 1, Action::None}}},
};

const char* const tabOrder[] = {
    "toolButton_ico", "lineEdit_name", "lineEdit_descr", "lineEdit_note", "toolButton_note", "scrollArea",
};

const Form form = {
    "CardNote", "Заметки", ":/32/oxygen/folders/note",
    200, 307, 200, 150, 178, 285,
    MainLayout::Grid, "gridLayout_main", "verticalLayout_scroll", "horizontalLayout", 1, -1,
    false, fields, int(std::size(fields)), tabOrder, int(std::size(tabOrder)),
};

} // namespace

CardNote::CardNote(QWidget* parent) : PatternCard(form, parent) {}
