#pragma once
// Card editor for the card type "Банковская карта".

#include "varnex/interface/cards/patterncard.h"

class CardBank : public PatternCard
{
    Q_OBJECT

public:
    explicit CardBank(QWidget* parent = nullptr);
    ~CardBank() override;

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
