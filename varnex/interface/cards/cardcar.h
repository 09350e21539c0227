#pragma once
// Card editor for the card type "Автомобиль".

#include "varnex/interface/cards/patterncard.h"

class CardCar : public PatternCard
{
    Q_OBJECT

public:
    explicit CardCar(QWidget* parent = nullptr);
};
