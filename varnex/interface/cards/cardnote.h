#pragma once
// Card editor for the card type "Заметки".

#include "varnex/interface/cards/patterncard.h"

class CardNote : public PatternCard
{
    Q_OBJECT

public:
    explicit CardNote(QWidget* parent = nullptr);
};
