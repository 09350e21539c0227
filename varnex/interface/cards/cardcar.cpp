#include "varnex/interface/cards/cardcar.h"

#include <QEvent>

#include "varnex/interface/cards/cardform.h"

namespace {

using namespace CardTable;

#define CTX "CardCar"

// The head of the card; its own fields are not part of this table yet.
const char* const tabOrder[] = {"toolButton_ico", "lineEdit_name", "lineEdit_descr", "scrollArea"};

const Form form = {
    CTX, QT_TRANSLATE_NOOP(CTX, "Автомобиль"), ":/32/oxygen/folders/car",
    200, 436, 200, 250, 178, 414,
    MainLayout::Box, "verticalLayout_main", "verticalLayout_scroll", "horizontalLayout_head", 2, -1,
    true, nullptr, 0, tabOrder, int(std::size(tabOrder)),
};

#undef CTX

} // namespace

CardCar::CardCar(QWidget* parent) : PatternCard(parent), ui(new CardForm(form))
{
    ui->setupUi(this);
    ui->init();
}

CardCar::~CardCar()
{
    delete ui;
}

void CardCar::erase() { ui->erase(); }
bool CardCar::setData(const FieldMap& map) { return ui->setData(map); }
FieldMap& CardCar::getData() { return ui->getData(); }
void CardCar::hideControls() { ui->hideControls(); }

void CardCar::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        ui->retranslateUi();
}

void CardCar::on_toolButton_ico_clicked() { changeIcon(ui->toolButton("toolButton_ico")); }
