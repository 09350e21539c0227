#include "varnex/interface/cards/cardbank.h"

#include "varnex/interface/cards/cardform.h"

namespace {

using namespace CardTable;

const Field fields[] = {
    {"Название банка", "lineEdit_bank", Editor::Line, NoFlags, "label_bank", "Название банка", 0, 1, {}},
    {"Номер карты", "lineEdit_num", Editor::Line, NoFlags, "label_num", "Номер карты", 2, 3, {}},
    {"Владелец", "lineEdit_user", Editor::Line, NoFlags, "label_user", "Владелец", 4, 5, {}},
    {"Действует до", "dateEdit_date", Editor::Date, NoFlags, "label_date", "Действует до", 6, 7,
     {{"toolButton_date", calendarIcon, 7, 1, Action::Date}}},
    {"CW", "lineEdit_cw", Editor::Line, Latin, "label_cw", "CW", 8, 9,
     {{"toolButton_cw", keysIcon, 9, 1, Action::Password}}},
    {"PIN", "lineEdit_pin", Editor::Line, Latin, "label_pin", "PIN", 10, 11,
     {{"toolButton_pin", keysIcon, 11, 1, Action::Password}}},
    {"ИПН владельца", "lineEdit_ipn", Editor::Line, Latin, "label_ipn", "ИПН владельца", 12, 13,
     {{"toolButton_ipn", keysIcon, 13, 1, Action::Password}}},
    {"Телефон банка", "lineEdit_tele", Editor::Line, NoFlags, "label_tele", "Телефон банка", 14, 15, {}},
    {"WWW", "lineEdit_www", Editor::Line, NoFlags, "label_www", "WWW", 16, 17, {}},
    {"Данные договора", "lineEdit_info", Editor::Line, NoFlags, "label_info", "Данные договора", 18, 19,
     {{"toolButton_info", noteIcon, 19, 1, Action::Note}}},
    {"Примечания", "lineEdit_note", Editor::Line, NoFlags, "label_note", "Примечания", 20, 21,
     {{"toolButton_note", noteIcon, 21, 1, Action::Note}}},
};

const char* const tabOrder[] = {
    "toolButton_ico", "lineEdit_name", "lineEdit_descr", "lineEdit_bank", "lineEdit_num", "lineEdit_user",
    "dateEdit_date", "toolButton_date", "lineEdit_cw", "toolButton_cw", "lineEdit_pin", "toolButton_pin",
    "lineEdit_ipn", "toolButton_ipn", "lineEdit_tele", "lineEdit_www", "lineEdit_info", "toolButton_info",
    "lineEdit_note", "toolButton_note", "scrollArea",
};

const Form form = {
    "CardBank", "Банковская карта", ":/32/oxygen/folders/bank",
    200, 632, 200, 250, 178, 610,
    MainLayout::Box, "verticalLayout_main", "verticalLayout_scroll", "horizontalLayout_head", 2, -1,
    true, fields, int(std::size(fields)), tabOrder, int(std::size(tabOrder)),
    nullptr, "CardBank::hideControls", true,
};

} // namespace

CardBank::CardBank(QWidget* parent) : PatternCard(form, parent) {}
