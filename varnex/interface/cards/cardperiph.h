#pragma once
// Card editor for the card type "Оборудование".

#include "varnex/interface/cards/patterncard.h"

class CardPeriph : public PatternCard
{
    Q_OBJECT

public:
    explicit CardPeriph(QWidget* parent = nullptr);
    ~CardPeriph() override;

    void erase() override;
    bool setData(const FieldMap& map) override;
    FieldMap& getData() override;
    void hideControls() override;

protected:
    void changeEvent(QEvent* event) override;

private slots:
    void on_toolButton_ico_clicked();
private:
    CardForm* ui;
};
