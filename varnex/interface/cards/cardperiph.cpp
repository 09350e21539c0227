#include "varnex/interface/cards/cardperiph.h"

#include <QEvent>

CardPeriph::CardPeriph(QWidget* parent) : PatternCard(parent), ui(nullptr) {}
CardPeriph::~CardPeriph() = default;
void CardPeriph::erase() { PatternCard::erase(); }
bool CardPeriph::setData(const FieldMap& map) { return PatternCard::setData(map); }
FieldMap& CardPeriph::getData() { return PatternCard::getData(); }
void CardPeriph::hideControls() { PatternCard::hideControls(); }
void CardPeriph::changeEvent(QEvent* event) { QWidget::changeEvent(event); }
void CardPeriph::on_toolButton_ico_clicked() {}
