#include "varnex/interface/cards/carduser.h"

#include "varnex/interface/cards/cardform.h"

namespace {

using namespace CardTable;

const Field fields[] = {
    {"URL", "lineEdit_url", Editor::Line, NoFlags, "label_url", "STR_USER_URL", 0, 1,
     {{"toolButton_url", ":/16/oxygen/buttons/internet", 1, 1, Action::OpenUrl, true}}},
    {"E-Mail", "lineEdit_mail", Editor::Line, NoFlags, "label_mail", "STR_USER_MAIL", 2, 3, {}},
    {"Имя пользователя", "lineEdit_login", Editor::Line, NoFlags, "label_login", "STR_USER_LOGIN", 4, 5, {}},
    {"Пароль", "lineEdit_passw", Editor::Line, Latin | Masked, "label_passw", "STR_USER_PASSW", 6, 7,
     {{"toolButton_clipboard", ":/16/oxygen/buttons/copy", 7, 1, Action::Copy},
      {"toolButton_passw", keysIcon, 7, 2, Action::Password}}},
    {"Примечания", "lineEdit_note", Editor::Line, NoFlags, "label_note", "STR_USER_NOTE", 8, 9,
     {{"toolButton_note", noteIcon, 9, 2, Action::Note}}},
};

const char* const tabOrder[] = {
    "toolButton_ico", "lineEdit_name", "lineEdit_descr", "lineEdit_url", "lineEdit_mail",
    "lineEdit_login", "lineEdit_passw", "toolButton_passw", "lineEdit_note", "toolButton_note",
    "scrollArea",
};

const Form form = {
    "CardUser", "Учётная запись", ":/32/oxygen/folders/user",
    200, 327, 200, 250, 178, 305,
    MainLayout::Grid, "gridLayout_main", "verticalLayout_scroll", "horizontalLayout_head", 2, -1,
    false, fields, int(std::size(fields)), tabOrder, int(std::size(tabOrder)),
    nullptr, "void CardUser::hideControls()",
};

} // namespace

CardUser::CardUser(QWidget* parent) : PatternCard(form, parent) {}
