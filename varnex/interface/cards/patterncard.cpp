#include "varnex/interface/cards/patterncard.h"

PatternCard::PatternCard(QWidget* parent) : QWidget(parent) { reset(); }
PatternCard::~PatternCard() = default;
void PatternCard::erase() { reset(); }
bool PatternCard::setData(const FieldMap&) { return true; }
FieldMap& PatternCard::getData() { return fields; }
void PatternCard::hideControls() {}
bool PatternCard::isReadOnly() const { return readOnly; }
void PatternCard::setReadOnly(bool flag) { readOnly = flag; }
void PatternCard::updateControls() {}
void PatternCard::showControls(QWidget*) {}
void PatternCard::reset() { fields.clear(); setReadOnly(true); }
void PatternCard::setEditsReadOnly(QWidget*, bool) {}
void PatternCard::clearEdits(QWidget*) {}
void PatternCard::setButtonsVisible(QWidget*, bool) {}
void PatternCard::setLatinValidator(QLineEdit*) {}
void PatternCard::editNote(QWidget*) {}
void PatternCard::changeIcon(QToolButton*) {}
void PatternCard::pickDate(QDateEdit*) {}
void PatternCard::generatePassword(QLineEdit*) {}
void PatternCard::cardTextChanged(const QString&) { emit cardChanged(true); }
void PatternCard::cardDateChanged(const QDate&) { emit cardChanged(true); }
void PatternCard::showRows(QWidget*) {}
