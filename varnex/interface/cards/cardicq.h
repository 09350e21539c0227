#pragma once
// Card editor for the card type "Мессенджер".

#include "varnex/interface/cards/patterncard.h"

class CardIcq : public PatternCard
{
    Q_OBJECT

public:
    explicit CardIcq(QWidget* parent = nullptr);
};
