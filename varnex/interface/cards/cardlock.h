#pragma once
// Card editor for the card type "Кодовый замок".

#include "varnex/interface/cards/patterncard.h"

class CardLock : public PatternCard
{
    Q_OBJECT

public:
    explicit CardLock(QWidget* parent = nullptr);
};
