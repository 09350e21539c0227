#include "varnex/interface/cards/cardicq.h"

#include <QEvent>

CardIcq::CardIcq(QWidget* parent) : PatternCard(parent), ui(nullptr) {}
CardIcq::~CardIcq() = default;
void CardIcq::erase() { PatternCard::erase(); }
bool CardIcq::setData(const FieldMap& map) { return PatternCard::setData(map); }
FieldMap& CardIcq::getData() { return PatternCard::getData(); }
void CardIcq::hideControls() { PatternCard::hideControls(); }
void CardIcq::changeEvent(QEvent* event) { QWidget::changeEvent(event); }
void CardIcq::on_toolButton_ico_clicked() {}
