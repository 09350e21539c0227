#pragma once
// Card editor for the card type "Учётная запись".

#include "varnex/interface/cards/patterncard.h"

class CardUser : public PatternCard
{
    Q_OBJECT

public:
    explicit CardUser(QWidget* parent = nullptr);
    ~CardUser() override;

    void erase() override;
    bool setData(const FieldMap& map) override;
    FieldMap& getData() override;
    void hideControls() override;

protected:
    void changeEvent(QEvent* event) override;

private slots:
    void on_toolButton_ico_clicked();
    void on_toolButton_url_clicked();
    void on_toolButton_passw_clicked();
    void on_toolButton_clipboard_clicked();
    void on_toolButton_note_clicked();
private:
    CardForm* ui;
};
