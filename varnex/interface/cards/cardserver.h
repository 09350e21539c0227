#pragma once
// Card editor for the card type "Сервер".

#include "varnex/interface/cards/patterncard.h"

class CardServer : public PatternCard
{
    Q_OBJECT

public:
    explicit CardServer(QWidget* parent = nullptr);
    ~CardServer() override;

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
