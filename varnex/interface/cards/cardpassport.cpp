#include "varnex/interface/cards/cardpassport.h"

#include <QEvent>

CardPassport::CardPassport(QWidget* parent) : PatternCard(parent), ui(nullptr) {}
CardPassport::~CardPassport() = default;
void CardPassport::erase() { PatternCard::erase(); }
bool CardPassport::setData(const FieldMap& map) { return PatternCard::setData(map); }
FieldMap& CardPassport::getData() { return PatternCard::getData(); }
void CardPassport::hideControls() { PatternCard::hideControls(); }
void CardPassport::changeEvent(QEvent* event) { QWidget::changeEvent(event); }
void CardPassport::on_toolButton_ico_clicked() {}
