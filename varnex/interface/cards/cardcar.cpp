#include "varnex/interface/cards/cardcar.h"

#include <QEvent>

CardCar::CardCar(QWidget* parent) : PatternCard(parent), ui(nullptr) {}
CardCar::~CardCar() = default;
void CardCar::erase() { PatternCard::erase(); }
bool CardCar::setData(const FieldMap& map) { return PatternCard::setData(map); }
FieldMap& CardCar::getData() { return PatternCard::getData(); }
void CardCar::hideControls() { PatternCard::hideControls(); }
void CardCar::changeEvent(QEvent* event) { QWidget::changeEvent(event); }
void CardCar::on_toolButton_ico_clicked() {}
