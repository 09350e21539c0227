#include "varnex/interface/cards/cardcloud.h"

#include "varnex/interface/cards/cardform.h"

namespace {

using namespace CardTable;

const Field fields[] = {
    {"URL", "lineEdit_url", Editor::Line, NoFlags, "label_url", "STR_CARD_URL", 0, 1, {}},
    {"Имя пользователя", "lineEdit_login", Editor::Line, NoFlags, "label_login", "STR_CARD_LOGIN", 2, 3, {}},
    {"Пароль", "lineEdit_passw", Editor::Line, Latin, "label_passw", "STR_CARD_PASSW", 4, 5,
     {{"toolButton_passw", keysIcon, 5, 1, Action::Password}}},
    {"E-Mail", "lineEdit_mail", Editor::Line, NoFlags, "label_mail", "STR_CARD_MAIL", 6, 7, {}},
    {"Примечания", "lineEdit_note", Editor::Line, NoFlags, "label_note", "STR_CAR_NOTE", 8, 9,
     {{"toolButton_note", noteIcon, 9, 1, Action::Note}}},
};

const char* const tabOrder[] = {
    "toolButton_ico", "lineEdit_name", "lineEdit_descr", "lineEdit_url", "lineEdit_login", "lineEdit_passw",
    "toolButton_passw", "lineEdit_mail", "lineEdit_note", "toolButton_note", "scrollArea",
};

const Form form = {
    "CardCloud", "Онлайн хранилище", ":/32/oxygen/folders/cloud",
    200, 328, 200, 250, 178, 306,
    MainLayout::Grid, "gridLayout_main", "verticalLayout_scroll", "horizontalLayout", 2, -1,
    false, fields, int(std::size(fields)), tabOrder, int(std::size(tabOrder)),
};

} // namespace

CardCloud::CardCloud(QWidget* parent) : PatternCard(form, parent) {}
