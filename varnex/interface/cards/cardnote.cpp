#include "varnex/interface/cards/cardnote.h"

#include <QEvent>

CardNote::CardNote(QWidget* parent) : PatternCard(parent), ui(nullptr) {}
CardNote::~CardNote() = default;
void CardNote::erase() { PatternCard::erase(); }
bool CardNote::setData(const FieldMap& map) { return PatternCard::setData(map); }
FieldMap& CardNote::getData() { return PatternCard::getData(); }
void CardNote::hideControls() { PatternCard::hideControls(); }
void CardNote::changeEvent(QEvent* event) { QWidget::changeEvent(event); }
void CardNote::on_toolButton_ico_clicked() {}
