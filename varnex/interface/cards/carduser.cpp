#include "varnex/interface/cards/carduser.h"

#include <QEvent>

CardUser::CardUser(QWidget* parent) : PatternCard(parent), ui(nullptr) {}
CardUser::~CardUser() = default;
void CardUser::erase() { PatternCard::erase(); }
bool CardUser::setData(const FieldMap& map) { return PatternCard::setData(map); }
FieldMap& CardUser::getData() { return PatternCard::getData(); }
void CardUser::hideControls() { PatternCard::hideControls(); }
void CardUser::changeEvent(QEvent* event) { QWidget::changeEvent(event); }
void CardUser::on_toolButton_ico_clicked() {}
void CardUser::on_toolButton_url_clicked() {}
void CardUser::on_toolButton_passw_clicked() {}
void CardUser::on_toolButton_clipboard_clicked() {}
void CardUser::on_toolButton_note_clicked() {}
