#pragma once
// Card editor for the card type "Автомобиль".

#include "varnex/interface/cards/patterncard.h"

class CardCar : public PatternCard
{
    Q_OBJECT

public:
    explicit CardCar(QWidget* parent = nullptr);
    ~CardCar() override;

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
