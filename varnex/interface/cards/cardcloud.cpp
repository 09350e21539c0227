#include "varnex/interface/cards/cardcloud.h"

#include <QEvent>

CardCloud::CardCloud(QWidget* parent) : PatternCard(parent), ui(nullptr) {}
CardCloud::~CardCloud() = default;
void CardCloud::erase() { PatternCard::erase(); }
bool CardCloud::setData(const FieldMap& map) { return PatternCard::setData(map); }
FieldMap& CardCloud::getData() { return PatternCard::getData(); }
void CardCloud::hideControls() { PatternCard::hideControls(); }
void CardCloud::changeEvent(QEvent* event) { QWidget::changeEvent(event); }
void CardCloud::on_toolButton_ico_clicked() {}
