#include "varnex/interface/cards/cardcomputer.h"

#include "varnex/interface/cards/cardform.h"

namespace {

using namespace CardTable;

const Field fields[] = {
    {"Имя пользователя", "lineEdit_login", Editor::Line, NoFlags, "label_login", "Имя пользователя", 0, 1, {}},
    {"Пароль", "lineEdit_passw", Editor::Line, Latin, "label_passw", "Пароль", 2, 3,
     {{"toolButton_passw", keysIcon, 3, 1, Action::Password}}},
    {"Примечания", "lineEdit_note", Editor::Line, NoFlags, "label_note", "Примечания", 4, 5,
     {{"toolButton_note", noteIcon, 5, 1, Action::Note}}},
};

const char* const tabOrder[] = {
    "toolButton_ico", "lineEdit_name", "lineEdit_descr", "lineEdit_login", "lineEdit_passw",
    "toolButton_passw", "lineEdit_note", "toolButton_note", "scrollArea",
};

const Form form = {
    "CardComputer", "Компьютер", ":/32/oxygen/folders/computer",
    200, 250, 200, 250, 178, 228,
    MainLayout::Grid, "gridLayout_main", "verticalLayout_scroll", "horizontalLayout_head", 2, 6,
    true, fields, int(std::size(fields)), tabOrder, int(std::size(tabOrder)),
};

} // namespace

CardComputer::CardComputer(QWidget* parent) : PatternCard(form, parent) {}
