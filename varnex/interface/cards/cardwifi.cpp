#include "varnex/interface/cards/cardwifi.h"

#include <QEvent>

CardWifi::CardWifi(QWidget* parent) : PatternCard(parent), ui(nullptr) {}
CardWifi::~CardWifi() = default;
void CardWifi::erase() { PatternCard::erase(); }
bool CardWifi::setData(const FieldMap& map) { return PatternCard::setData(map); }
FieldMap& CardWifi::getData() { return PatternCard::getData(); }
void CardWifi::hideControls() { PatternCard::hideControls(); }
void CardWifi::changeEvent(QEvent* event) { QWidget::changeEvent(event); }
void CardWifi::on_toolButton_ico_clicked() {}
