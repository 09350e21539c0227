#include "varnex/interface/cards/cardlock.h"

#include <QEvent>

CardLock::CardLock(QWidget* parent) : PatternCard(parent), ui(nullptr) {}
CardLock::~CardLock() = default;
void CardLock::erase() { PatternCard::erase(); }
bool CardLock::setData(const FieldMap& map) { return PatternCard::setData(map); }
FieldMap& CardLock::getData() { return PatternCard::getData(); }
void CardLock::hideControls() { PatternCard::hideControls(); }
void CardLock::changeEvent(QEvent* event) { QWidget::changeEvent(event); }
void CardLock::on_toolButton_ico_clicked() {}
