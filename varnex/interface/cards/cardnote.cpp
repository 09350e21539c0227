#include "varnex/interface/cards/cardnote.h"

#include <QEvent>

#include "varnex/interface/cards/cardform.h"

namespace {

using namespace CardTable;

#define CTX "CardNote"

// The head of the card; its own fields are not part of this table yet.
const char* const tabOrder[] = {"toolButton_ico", "lineEdit_name", "lineEdit_descr", "scrollArea"};

const Form form = {
    CTX, QT_TRANSLATE_NOOP(CTX, "Заметки"), ":/32/oxygen/folders/note",
    200, 307, 200, 150, 178, 285,
    MainLayout::Grid, "gridLayout_main", "verticalLayout_scroll", "horizontalLayout", 1, -1,
    false, nullptr, 0, tabOrder, int(std::size(tabOrder)),
};

#undef CTX

} // namespace

CardNote::CardNote(QWidget* parent) : PatternCard(parent), ui(new CardForm(form))
{
    ui->setupUi(this);
    ui->init();
}

CardNote::~CardNote()
{
    delete ui;
}

void CardNote::erase() { ui->erase(); }
bool CardNote::setData(const FieldMap& map) { return ui->setData(map); }
FieldMap& CardNote::getData() { return ui->getData(); }
void CardNote::hideControls() { ui->hideControls(); }

void CardNote::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        ui->retranslateUi();
}

void CardNote::on_toolButton_ico_clicked() { changeIcon(ui->toolButton("toolButton_ico")); }
