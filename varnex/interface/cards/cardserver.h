#pragma once
// Card editor for the card type "Сервер".

#include "varnex/interface/cards/patterncard.h"

class CardServer : public PatternCard
{
    Q_OBJECT

public:
    explicit CardServer(QWidget* parent = nullptr);
};
