#include "varnex/interface/cards/cardcomputer.h"

#include <QEvent>

CardComputer::CardComputer(QWidget* parent) : PatternCard(parent), ui(nullptr) {}
CardComputer::~CardComputer() = default;
void CardComputer::erase() { PatternCard::erase(); }
bool CardComputer::setData(const FieldMap& map) { return PatternCard::setData(map); }
FieldMap& CardComputer::getData() { return PatternCard::getData(); }
void CardComputer::hideControls() { PatternCard::hideControls(); }
void CardComputer::changeEvent(QEvent* event) { QWidget::changeEvent(event); }
void CardComputer::on_toolButton_ico_clicked() {}
void CardComputer::on_toolButton_passw_clicked() {}
void CardComputer::on_toolButton_note_clicked() {}
