#include "varnex/interface/cards/cardicq.h"

#include "varnex/interface/cards/cardform.h"

namespace {

using namespace CardTable;

const Field fields[] = {
    {"Идентификатор", "lineEdit_id", Editor::Line, NoFlags, "label_id", "STR_ICQ_ID", 0, 1, {}},
    {"Пароль", "lineEdit_passw", Editor::Line, Latin, "label_passw", "STR_CARD_PASSW", 2, 3,
     {{"toolButton_passw", keysIcon, 3, 1, Action::Password}}},
    {"E-Mail", "lineEdit_mail", Editor::Line, NoFlags, "label_mail", "STR_CARD_MAIL", 4, 5, {}},
    {"Примечания", "lineEdit_note", Editor::Line, NoFlags, "label_note", "STR_CAR_NOTE", 6, 7,
     {{"toolButton_note", noteIcon, 7, 1, Action::Note}}},
};

const char* const tabOrder[] = {
    "toolButton_ico", "lineEdit_name", "lineEdit_descr", "lineEdit_id", "lineEdit_passw", "toolButton_passw",
    "lineEdit_mail", "lineEdit_note", "toolButton_note", "scrollArea",
};

const Form form = {
    "CardIcq", "Мессенджер", ":/32/oxygen/folders/icq",
    200, 284, 200, 250, 178, 262,
    MainLayout::Grid, "gridLayout", "verticalLayout_scroll", "horizontalLayout", 2, -1,
    false, fields, int(std::size(fields)), tabOrder, int(std::size(tabOrder)),
};

} // namespace

CardIcq::CardIcq(QWidget* parent) : PatternCard(form, parent) {}
