#include "varnex/interface/cards/cardpassport.h"

#include <QEvent>

#include "varnex/interface/cards/cardform.h"

namespace {

using namespace CardTable;

#define CTX "CardPassport"

// The head of the card; its own fields are not part of this table yet.
const char* const tabOrder[] = {"toolButton_ico", "lineEdit_name", "lineEdit_descr", "scrollArea"};

const Form form = {
    CTX, QT_TRANSLATE_NOOP(CTX, "Паспорт"), ":/32/oxygen/folders/passport",
    200, 419, 200, 250, 178, 397,
    MainLayout::Grid, "gridLayout_main", "verticalLayout_2", "horizontalLayout", 2, -1,
    false, nullptr, 0, tabOrder, int(std::size(tabOrder)),
};

#undef CTX

} // namespace

CardPassport::CardPassport(QWidget* parent) : PatternCard(parent), ui(new CardForm(form))
{
    ui->setupUi(this);
    ui->init();
}

CardPassport::~CardPassport()
{
    delete ui;
}

void CardPassport::erase() { ui->erase(); }
bool CardPassport::setData(const FieldMap& map) { return ui->setData(map); }
FieldMap& CardPassport::getData() { return ui->getData(); }
void CardPassport::hideControls() { ui->hideControls(); }

void CardPassport::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        ui->retranslateUi();
}

void CardPassport::on_toolButton_ico_clicked() { changeIcon(ui->toolButton("toolButton_ico")); }
