#include "varnex/interface/cards/cardpassport.h"

#include "varnex/interface/cards/cardform.h"

namespace {

using namespace CardTable;

// Both dates reach back to 1900: a holder's birth and an old passport's
// issue lie further back than the usual fifty years.
const Field fields[] = {
    {"Фамилия, Имя, Отчество", "lineEdit_fio", Editor::Line, NoFlags, "label_fio", "STR_PASSP_FIO", 0, 1, {}},
    {"Дата рождения", "dateEdit_date", Editor::Date, DateSince1900, "label_date", "STR_PASSP_DATE", 2, 3,
     {{"toolButton_date", calendarIcon, 3, 1, Action::Date}}},
    {"Место рождения", "lineEdit_place", Editor::Line, NoFlags, "label_place", "STR_PASSP_PLACE", 4, 5, {}},
    {"Серия и Номер", "lineEdit_ser", Editor::Line, NoFlags, "label_ser", "STR_PASSP_SER", 6, 7, {}},
    {"Кем выдан", "lineEdit_who", Editor::Line, NoFlags, "label_who", "STR_PASSP_WHO", 8, 9, {}},
    {"Когда выдан", "dateEdit_when", Editor::Date, DateSince1900, "label_when", "STR_PASSP_WHEN", 10, 11,
     {{"toolButton_when", calendarIcon, 11, 1, Action::Date}}},
    {"Примечания", "lineEdit_note", Editor::Line, NoFlags, "label_note", "STR_PASSP_NOTE", 12, 13,
     {{"toolButton_note", noteIcon, 13, 1, Action::Note}}},
};

const char* const tabOrder[] = {
    "toolButton_ico", "lineEdit_name", "lineEdit_descr", "lineEdit_fio", "dateEdit_date", "toolButton_date",
    "lineEdit_place", "lineEdit_ser", "lineEdit_who", "dateEdit_when", "toolButton_when", "lineEdit_note",
    "toolButton_note", "scrollArea",
};

const Form form = {
    "CardPassport", "Паспорт", ":/32/oxygen/folders/passport",
    200, 419, 200, 250, 178, 397,
    MainLayout::Grid, "gridLayout_main", "verticalLayout_2", "horizontalLayout", 2, -1,
    false, fields, int(std::size(fields)), tabOrder, int(std::size(tabOrder)),
};

} // namespace

CardPassport::CardPassport(QWidget* parent) : PatternCard(form, parent) {}
