#pragma once
// Card editor for the card type "Банковская карта".

#include "varnex/interface/cards/patterncard.h"

class CardBank : public PatternCard
{
    Q_OBJECT

public:
    explicit CardBank(QWidget* parent = nullptr);
};
