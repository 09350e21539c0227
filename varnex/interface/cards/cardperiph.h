#pragma once
// Card editor for the card type "Оборудование".

#include "varnex/interface/cards/patterncard.h"

class CardPeriph : public PatternCard
{
    Q_OBJECT

public:
    explicit CardPeriph(QWidget* parent = nullptr);
};
