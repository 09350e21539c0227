#include "varnex/interface/cards/cardcomputer.h"

#include <QEvent>

#include "varnex/interface/cards/cardform.h"

namespace {

using namespace CardTable;

#define CTX "CardComputer"

const Field fields[] = {
    {QT_TRANSLATE_NOOP(CTX, "Имя пользователя"), "lineEdit_login", Editor::Line, NoFlags,
     "label_login", QT_TRANSLATE_NOOP(CTX, "Имя пользователя"), 0, 1, {}},
    {QT_TRANSLATE_NOOP(CTX, "Пароль"), "lineEdit_passw", Editor::Line, Latin,
     "label_passw", QT_TRANSLATE_NOOP(CTX, "Пароль"), 2, 3,
     {{"toolButton_passw", ":/32/tango/buttons/keys", 3, 1}}},
    {QT_TRANSLATE_NOOP(CTX, "Примечания"), "lineEdit_note", Editor::Line, NoFlags,
     "label_note", QT_TRANSLATE_NOOP(CTX, "Примечания"), 4, 5,
     {{"toolButton_note", ":/32/tango/buttons/mail-attachment", 5, 1}}},
};

const char* const tabOrder[] = {
    "toolButton_ico", "lineEdit_name", "lineEdit_descr", "lineEdit_login", "lineEdit_passw",
    "toolButton_passw", "lineEdit_note", "toolButton_note", "scrollArea",
};

const Form form = {
    CTX, QT_TRANSLATE_NOOP(CTX, "Компьютер"), ":/32/oxygen/folders/computer",
    200, 250, 200, 250, 178, 228,
    MainLayout::Grid, "gridLayout_main", "verticalLayout_scroll", "horizontalLayout_head", 2, 6,
    true, fields, int(std::size(fields)), tabOrder, int(std::size(tabOrder)),
};

#undef CTX

} // namespace

CardComputer::CardComputer(QWidget* parent) : PatternCard(parent), ui(new CardForm(form))
{
    ui->setupUi(this);
    ui->init();
}

CardComputer::~CardComputer()
{
    delete ui;
}

void CardComputer::erase() { ui->erase(); }
bool CardComputer::setData(const FieldMap& map) { return ui->setData(map); }
FieldMap& CardComputer::getData() { return ui->getData(); }
void CardComputer::hideControls() { ui->hideControls(); }

void CardComputer::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        ui->retranslateUi();
}

void CardComputer::on_toolButton_ico_clicked() { changeIcon(ui->toolButton("toolButton_ico")); }
void CardComputer::on_toolButton_passw_clicked() { generatePassword(ui->lineEdit("lineEdit_passw")); }
void CardComputer::on_toolButton_note_clicked() { editNote(ui->lineEdit("lineEdit_note")); }
