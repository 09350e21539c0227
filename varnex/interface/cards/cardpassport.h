#pragma once
// Card editor for the card type "Паспорт".

#include "varnex/interface/cards/patterncard.h"

class CardPassport : public PatternCard
{
    Q_OBJECT

public:
    explicit CardPassport(QWidget* parent = nullptr);
};
