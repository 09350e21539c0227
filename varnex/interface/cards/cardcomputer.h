#pragma once
// Card editor for the card type "Компьютер".

#include "varnex/interface/cards/patterncard.h"

class CardComputer : public PatternCard
{
    Q_OBJECT

public:
    explicit CardComputer(QWidget* parent = nullptr);
};
