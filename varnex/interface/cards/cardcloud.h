#pragma once
// Card editor for the card type "Онлайн хранилище".

#include "varnex/interface/cards/patterncard.h"

class CardCloud : public PatternCard
{
    Q_OBJECT

public:
    explicit CardCloud(QWidget* parent = nullptr);
};
