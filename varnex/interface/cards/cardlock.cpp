#include "varnex/interface/cards/cardlock.h"

#include "varnex/interface/cards/cardform.h"

namespace {

using namespace CardTable;

const Field fields[] = {
    {"Код", "lineEdit_passw", Editor::Line, Latin, "label_passw", "STR_LOCK_CODE", 0, 1,
     {{"toolButton_passw", keysIcon, 1, 1, Action::Password}}},
    {"Примечания", "lineEdit_note", Editor::Line, NoFlags, "label_note", "STR_CAR_NOTE", 2, 3,
     {{"toolButton_note", noteIcon, 3, 1, Action::Note}}},
};

const char* const tabOrder[] = {
    "toolButton_ico", "lineEdit_name", "lineEdit_descr", "lineEdit_passw", "toolButton_passw",
    "lineEdit_note", "toolButton_note", "scrollArea",
};

const Form form = {
    "CardLock", "Кодовый замок", ":/32/oxygen/folders/lock",
    200, 200, 200, 200, 178, 178,
    MainLayout::Grid, "gridLayout_main", "verticalLayout_scroll", "horizontalLayout_head", 2, -1,
    false, fields, int(std::size(fields)), tabOrder, int(std::size(tabOrder)),
};

} // namespace

CardLock::CardLock(QWidget* parent) : PatternCard(form, parent) {}
