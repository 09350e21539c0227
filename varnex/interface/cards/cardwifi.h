#pragma once
// Card editor for the card type "Беспроводное оборудование".

#include "varnex/interface/cards/patterncard.h"

class CardWifi : public PatternCard
{
    Q_OBJECT

public:
    explicit CardWifi(QWidget* parent = nullptr);
    ~CardWifi() override;

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
