#include "varnex/interface/cards/cardserver.h"

#include "varnex/interface/cards/cardform.h"

namespace {

using namespace CardTable;

const Field fields[] = {
    {"Имя пользователя", "lineEdit_login", Editor::Line, NoFlags, "label_login", "STR_SERVER_LOGIN", 0, 1, {}},
    {"Пароль", "lineEdit_passw", Editor::Line, Latin, "label_passw", "STR_SERVER_PASSW", 2, 3,
     {{"toolButton_passw", keysIcon, 3, 1, Action::Password}}},
    {"Хост", "lineEdit_host", Editor::Line, NoFlags, "label_host", "STR_SERVER_HOST", 4, 5, {}},
    {"IP", "lineEdit_ip", Editor::Line, NoFlags, "label_ip", "STR_SERVER_IP", 6, 7, {}},
    {"Примечания", "lineEdit_note", Editor::Line, NoFlags, "label_note", "STR_SERVER_NOTE", 8, 9,
     {{"toolButton_note", noteIcon, 9, 1, Action::Note}}},
};

const char* const tabOrder[] = {
    "toolButton_ico", "lineEdit_name", "lineEdit_descr", "lineEdit_login", "lineEdit_passw", "toolButton_passw",
    "lineEdit_host", "lineEdit_ip", "lineEdit_note", "toolButton_note", "scrollArea",
};

const Form form = {
    "CardServer", "Сервер", ":/32/oxygen/folders/server",
    200, 330, 200, 250, 178, 308,
    MainLayout::Grid, "gridLayout_main", "verticalLayout_scroll", "horizontalLayout_head", 2, -1,
    false, fields, int(std::size(fields)), tabOrder, int(std::size(tabOrder)),
};

} // namespace

CardServer::CardServer(QWidget* parent) : PatternCard(form, parent) {}
