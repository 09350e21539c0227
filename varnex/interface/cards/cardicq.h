#pragma once
// Card editor for the card type "Мессенджер".

#include "varnex/interface/cards/patterncard.h"

class CardIcq : public PatternCard
{
    Q_OBJECT

public:
    explicit CardIcq(QWidget* parent = nullptr);
    ~CardIcq() override;

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
