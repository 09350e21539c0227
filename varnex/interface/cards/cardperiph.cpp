#include "varnex/interface/cards/cardperiph.h"

#include <QEvent>

#include "varnex/interface/cards/cardform.h"

namespace {

using namespace CardTable;

#define CTX "CardPeriph"

// The head of the card; its own fields are not part of this table yet.
const char* const tabOrder[] = {"toolButton_ico", "lineEdit_name", "lineEdit_descr", "scrollArea"};

const Form form = {
    CTX, QT_TRANSLATE_NOOP(CTX, "Оборудование"), ":/32/oxygen/folders/periph",
    200, 374, 200, 250, 178, 352,
    MainLayout::Grid, "gridLayout_main", "verticalLayout_2", "horizontalLayout_head", 2, -1,
    false, nullptr, 0, tabOrder, int(std::size(tabOrder)),
};

#undef CTX

} // namespace

CardPeriph::CardPeriph(QWidget* parent) : PatternCard(parent), ui(new CardForm(form))
{
    ui->setupUi(this);
    ui->init();
}

CardPeriph::~CardPeriph()
{
    delete ui;
}

void CardPeriph::erase() { ui->erase(); }
bool CardPeriph::setData(const FieldMap& map) { return ui->setData(map); }
FieldMap& CardPeriph::getData() { return ui->getData(); }
void CardPeriph::hideControls() { ui->hideControls(); }

void CardPeriph::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        ui->retranslateUi();
}

void CardPeriph::on_toolButton_ico_clicked() { changeIcon(ui->toolButton("toolButton_ico")); }
