#pragma once
// Card editor for the card type "Учётная запись".

#include "varnex/interface/cards/patterncard.h"

class CardUser : public PatternCard
{
    Q_OBJECT

public:
    explicit CardUser(QWidget* parent = nullptr);
};
