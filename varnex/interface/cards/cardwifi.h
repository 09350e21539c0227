#pragma once
// Card editor for the card type "Беспроводное оборудование".

#include "varnex/interface/cards/patterncard.h"

class CardWifi : public PatternCard
{
    Q_OBJECT

public:
    explicit CardWifi(QWidget* parent = nullptr);
};
