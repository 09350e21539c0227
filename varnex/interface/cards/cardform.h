#pragma once
// The form of a card editor, built from its card type's table.
//
// Every card type has the same shape: a head with the icon, the name and the
// description, then a body of labelled fields, each with an editor and up to
// two tool buttons. A card class describes its form in a static table
// (CardTable::Form) and hands it to PatternCard, which keeps one CardForm as
// its form object; the form builds the widgets under the card, runs each
// button's action and carries out the steps that all card types share (init,
// erase, setData, getData, hideControls, retranslation). Every text of a
// table is translated in the card class's own context.

#include <QDate>
#include <QDateEdit>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QString>
#include <QTextEdit>
#include <QToolButton>

#include <iterator>

#include "varnex/model/repository.h"

class PatternCard;

namespace CardTable {

// Kind of a field's editor: QLineEdit, QDateEdit or QTextEdit.
enum class Editor { Line, Date, Text };

enum FieldFlag : unsigned {
    NoFlags = 0,
    Latin = 1u << 0,         // typing limited by PatternCard::setLatinValidator
    Masked = 1u << 1,        // echo mode Password
    DateSince1900 = 1u << 2, // the date edit reaches back to 01.01.1900
};

// What a tool button beside a field does with that field.
enum class Action {
    None,     // nothing
    Note,     // PatternCard::editNote with the field's editor
    Password, // PatternCard::generatePassword into the field's line edit
    Date,     // PatternCard::pickDate into the field's date edit
    OpenUrl,  // read-only view: opens the field's web address
    Copy,     // read-only view: puts the field's stored value on the clipboard
};

struct Button {
    const char* name = nullptr;  // object name, e.g. "toolButton_passw"; null: none
    const char* icon = nullptr;  // resource set by init
    int row = 0;
    int column = 0;
    Action action = Action::None;
    bool hiddenWithRow = false;  // hideControls hides it with its empty row
};

struct Field {
    const char* key;           // FieldMap key, also the label text that init sets
    const char* editorName;    // object name of the editor
    Editor editor;
    unsigned flags;
    const char* labelName;     // object name of the label
    const char* labelFormText; // the text the form itself gives the label
    int labelRow;
    int editorRow;
    Button buttons[2];         // column 0 holds label and editor
};

// Icons of the buttons beside fields.
inline constexpr const char* keysIcon = ":/32/tango/buttons/keys";
inline constexpr const char* noteIcon = ":/32/tango/buttons/mail-attachment";
inline constexpr const char* calendarIcon = ":/32/oxygen/buttons/calendar";

// Which kind of layout holds the scroll area inside the card's own layout.
enum class MainLayout { Grid, Box };

struct Form {
    const char* className;   // form object name and translation context
    const char* typeName;    // written under "Тип карточки"
    const char* defaultIcon; // icon of a new or erased card
    int width, height;
    int minWidth, minHeight;
    int contentsWidth, contentsHeight;  // initial size of the scroll contents
    MainLayout mainLayout;
    const char* mainLayoutName;
    const char* scrollLayoutName;
    const char* headBoxName;
    int headSpan;            // columns spanned by the head rows
    int outerSpacing;        // spacing of the card's own layout; -1: Qt's default
    bool formPlaceholders;   // the form's texts include the two placeholders
    const Field* fields;
    int fieldCount;
    const char* const* tabOrder;
    int tabCount;
    // Diagnostics some card types write: a line at every setData, a line at
    // every hideControls (followed by the read-only flag when asked).
    const char* setDataTrace = nullptr;
    const char* hideTrace = nullptr;
    bool hideTraceState = false;
};

} // namespace CardTable

class CardForm
{
public:
    explicit CardForm(const CardTable::Form& form);

    // Creates and lays out the widgets under the card, applies the form's
    // texts, binds each tool button to its action, then connects every
    // edit's change signal to the card.
    void setupUi(PatternCard* card);
    void retranslateUi();

    void init();
    void erase();
    bool setData(const FieldMap& map);
    FieldMap& getData();
    void hideControls();

    // The translated text of one of the card's texts (its class context).
    QString tr(const char* text) const;
    const CardTable::Form& table() const { return m_form; }

    QWidget* widget(const char* name) const;
    QLineEdit* lineEdit(const char* name) const;
    QDateEdit* dateEdit(const char* name) const;
    QTextEdit* textEdit(const char* name) const;
    QLabel* label(const char* name) const;
    QToolButton* toolButton(const char* name) const;

private:
    void run(const CardTable::Field& field, const CardTable::Button& button);
    void showIcon();
    void resetDateRange(QDateEdit* edit, const CardTable::Field& field);
    void showDate(QDateEdit* edit, const CardTable::Field& field, const QString& text);
    bool isBlank(QDateEdit* edit) const;
    QString dateText(QDateEdit* edit) const;
    QString noteText(QTextEdit* edit) const;

    const CardTable::Form& m_form;
    PatternCard* m_card = nullptr;
    QHash<QString, QWidget*> m_widgets;
    // Stored text of a date field whose value the date edit cannot show
    // (missing, unreadable); written back while the date edit shows nothing.
    QHash<QDateEdit*, QString> m_heldDates;
    // Stored text of a note and what the editor made of it: a note the user
    // leaves alone is written back exactly as it was stored (line ends and
    // all), not as the editor's reading of it.
    QHash<QTextEdit*, QPair<QString, QString>> m_heldNotes;
    QDate m_today;  // the date the date ranges are computed from
};
