#include "varnex/interface/cards/cardserver.h"

#include <QEvent>

CardServer::CardServer(QWidget* parent) : PatternCard(parent), ui(nullptr) {}
CardServer::~CardServer() = default;
void CardServer::erase() { PatternCard::erase(); }
bool CardServer::setData(const FieldMap& map) { return PatternCard::setData(map); }
FieldMap& CardServer::getData() { return PatternCard::getData(); }
void CardServer::hideControls() { PatternCard::hideControls(); }
void CardServer::changeEvent(QEvent* event) { QWidget::changeEvent(event); }
void CardServer::on_toolButton_ico_clicked() {}
