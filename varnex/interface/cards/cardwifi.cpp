#include "varnex/interface/cards/cardwifi.h"

#include "varnex/interface/cards/cardform.h"

namespace {

using namespace CardTable;

// "МАС" in the allowed-address key is written in Cyrillic capitals, as
// stored cards carry it.
const Field fields[] = {
    {"Имя устройства", "lineEdit_equip", Editor::Line, NoFlags, "label_equip", "STR_WIFI_EQUIP", 0, 1, {}},
    {"IP устройства", "lineEdit_ip", Editor::Line, NoFlags, "label_ip", "STR_WIFI_IP", 2, 3, {}},
    {"Имя пользователя", "lineEdit_login", Editor::Line, NoFlags, "label_login", "STR_WIFI_LOGIN", 4, 5, {}},
    {"Пароль", "lineEdit_passw", Editor::Line, Latin, "label_passw", "STR_WIFI_PASSW", 6, 7,
     {{"toolButton_passw", keysIcon, 7, 1, Action::Password}}},
    {"SSID", "lineEdit_ssid", Editor::Line, NoFlags, "label_ssid", "STR_WIFI_SSID", 8, 9, {}},
    {"Ключ", "lineEdit_key", Editor::Line, Latin, "label_key", "STR_WIFI_KEY", 10, 11,
     {{"toolButton_key", keysIcon, 11, 1, Action::Password}}},
    {"Разрешённые \u041C\u0410\u0421и", "lineEdit_mac", Editor::Line, NoFlags, "label_mac", "STR_WIFI_MAC", 12, 13,
     {{"toolButton_mac", noteIcon, 13, 1, Action::Note}}},
    {"Примечания", "lineEdit_note", Editor::Line, NoFlags, "label_note", "STR_WIFI_NOTE", 14, 15,
     {{"toolButton_note", noteIcon, 15, 1, Action::Note}}},
};

const char* const tabOrder[] = {
    "toolButton_ico", "lineEdit_name", "lineEdit_descr", "lineEdit_equip", "lineEdit_ip", "lineEdit_login",
    "lineEdit_passw", "toolButton_passw", "lineEdit_ssid", "lineEdit_key", "toolButton_key", "lineEdit_mac",
    "toolButton_mac", "lineEdit_note", "toolButton_note", "scrollArea",
};

const Form form = {
    "CardWifi", "Беспроводное оборудование", ":/32/oxygen/folders/wifi",
    200, 490, 200, 250, 178, 468,
    MainLayout::Grid, "gridLayout_main", "verticalLayout_scroll", "horizontalLayout_head", 2, -1,
    false, fields, int(std::size(fields)), tabOrder, int(std::size(tabOrder)),
};

} // namespace

CardWifi::CardWifi(QWidget* parent) : PatternCard(form, parent) {}
