#include "varnex/interface/cards/cardbank.h"

#include <QEvent>

CardBank::CardBank(QWidget* parent) : PatternCard(parent), ui(nullptr) {}
CardBank::~CardBank() = default;
void CardBank::erase() { PatternCard::erase(); }
bool CardBank::setData(const FieldMap& map) { return PatternCard::setData(map); }
FieldMap& CardBank::getData() { return PatternCard::getData(); }
void CardBank::hideControls() { PatternCard::hideControls(); }
void CardBank::changeEvent(QEvent* event) { QWidget::changeEvent(event); }
void CardBank::on_toolButton_ico_clicked() {}
