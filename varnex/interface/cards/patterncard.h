#pragma once
// Base widget of every card editor: the card's content, its read-only and
// editable states, and the helpers that the cards' tool buttons use. A card
// type hands its table to the protected constructor; the base card then owns
// the form built from it and carries out the card's operations through it.

#include <QString>
#include <QWidget>

#include "varnex/model/repository.h"

class QDate;
class QDateEdit;
class QLineEdit;
class QToolButton;
class CardForm;
namespace CardTable {
struct Form;
}

class PatternCard : public QWidget
{
    Q_OBJECT

public:
    explicit PatternCard(QWidget* parent = nullptr);
    ~PatternCard() override;

    virtual void erase();
    virtual bool setData(const FieldMap& map);
    virtual FieldMap& getData();
    virtual void hideControls();

    bool isReadOnly() const;
    void setReadOnly(bool flag);
    void updateControls();
    void showControls(QWidget* root);
    void reset();

    void setEditsReadOnly(QWidget* root, bool flag);
    void clearEdits(QWidget* root);
    void setButtonsVisible(QWidget* root, bool visible);
    void setLatinValidator(QLineEdit* edit);
    void editNote(QWidget* edit);
    void changeIcon(QToolButton* button);
    void pickDate(QDateEdit* edit);
    void generatePassword(QLineEdit* edit);
    // Puts the program's own text (a stored or generated value) into a line
    // edit: a latin validator keeps it whole and still filters what is typed.
    void putText(QLineEdit* edit, const QString& text);

signals:
    void cardChanged(bool changed);

public slots:
    void cardTextChanged(const QString& text);
    void cardDateChanged(const QDate& date);

protected:
    // A card type: the form of its table, built under the card and set up.
    PatternCard(const CardTable::Form& table, QWidget* parent);
    void changeEvent(QEvent* event) override;

    FieldMap fields;
    bool readOnly = true;
    QString iconPath;

private:
    CardForm* ui = nullptr;

    // Shows every label and edit row again; used before hiding empty rows so
    // that rows hidden for an earlier card come back.
    void showRows(QWidget* root);

    friend class CardForm;
};
