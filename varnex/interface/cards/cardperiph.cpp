#include "varnex/interface/cards/cardperiph.h"

#include "varnex/interface/cards/cardform.h"

namespace {

using namespace CardTable;

const Field fields[] = {
    {"URL", "lineEdit_url", Editor::Line, NoFlags, "label_url", "STR_PERIPH_URL", 0, 1, {}},
    {"IP", "lineEdit_ip", Editor::Line, NoFlags, "label_ip", "STR_PERIPH_IP", 2, 3, {}},
    {"Имя пользователя", "lineEdit_login", Editor::Line, NoFlags, "label_login", "STR_PERIPH_LOGIN", 4, 5, {}},
    {"Пароль", "lineEdit_passw", Editor::Line, Latin, "label_passw", "STR_PERIPH_PASSW", 6, 7,
     {{"toolButton_passw", keysIcon, 7, 1, Action::Password}}},
    {"Расположение", "lineEdit_locat", Editor::Line, NoFlags, "label_locat", "STR_PERIPH_LOCAT", 8, 9, {}},
    {"Примечания", "lineEdit_note", Editor::Line, NoFlags, "label_note", "STR_PERIPH_NOTE", 10, 11,
     {{"toolButton_note", noteIcon, 11, 1, Action::Note}}},
};

const char* const tabOrder[] = {
    "toolButton_ico", "lineEdit_name", "lineEdit_descr", "lineEdit_url", "lineEdit_ip", "lineEdit_login",
    "lineEdit_passw", "toolButton_passw", "lineEdit_locat", "lineEdit_note", "toolButton_note", "scrollArea",
};

const Form form = {
    "CardPeriph", "Оборудование", ":/32/oxygen/folders/periph",
    200, 374, 200, 250, 178, 352,
    MainLayout::Grid, "gridLayout_main", "verticalLayout_2", "horizontalLayout_head", 2, -1,
    false, fields, int(std::size(fields)), tabOrder, int(std::size(tabOrder)),
};

} // namespace

CardPeriph::CardPeriph(QWidget* parent) : PatternCard(form, parent) {}
