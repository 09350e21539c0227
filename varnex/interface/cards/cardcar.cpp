#include "varnex/interface/cards/cardcar.h"

#include "varnex/interface/cards/cardform.h"

namespace {

using namespace CardTable;

const Field fields[] = {
    {"Год выпуска", "lineEdit_year", Editor::Line, NoFlags, "label_year", "STR_CAR_YEAR", 0, 1, {}},
    {"Номерной знак", "lineEdit_gosnum", Editor::Line, NoFlags, "label_gosnum", "STR_CAR_GOSNUM", 3, 4, {}},
    {"Номер двигателя", "lineEdit_motnum", Editor::Line, NoFlags, "label_motnum", "STR_CAR_MOTNUM", 5, 6, {}},
    {"VIN", "lineEdit_vin", Editor::Line, NoFlags, "label_vin", "STR_CAR_VIN", 7, 8, {}},
    {"Номер ОСАГО", "lineEdit_osago", Editor::Line, NoFlags, "label_osago", "STR_CAR_OSAGO", 9, 10, {}},
    {"Телефон страховой", "lineEdit_tele", Editor::Line, NoFlags, "label_tele", "STR_CAR_TELE", 11, 12, {}},
    {"Примечания", "lineEdit_note", Editor::Line, NoFlags, "label_note", "STR_CAR_NOTE", 13, 14,
     {{"toolButton_note", noteIcon, 14, 1, Action::Note}}},
};

const char* const tabOrder[] = {
    "toolButton_ico", "lineEdit_name", "lineEdit_descr", "lineEdit_year", "lineEdit_gosnum", "lineEdit_motnum",
    "lineEdit_vin", "lineEdit_osago", "lineEdit_tele", "lineEdit_note", "toolButton_note", "scrollArea",
};

const Form form = {
    "CardCar", "Автомобиль", ":/32/oxygen/folders/car",
    200, 436, 200, 250, 178, 414,
    MainLayout::Box, "verticalLayout_main", "verticalLayout_scroll", "horizontalLayout_head", 2, -1,
    true, fields, int(std::size(fields)), tabOrder, int(std::size(tabOrder)),
    "CardCar::setData(const FieldMap &fields)",
};

} // namespace

CardCar::CardCar(QWidget* parent) : PatternCard(form, parent) {}
