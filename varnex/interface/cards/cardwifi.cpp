#include "varnex/interface/cards/cardwifi.h"

#include <QEvent>

#include "varnex/interface/cards/cardform.h"

namespace {

using namespace CardTable;

#define CTX "CardWifi"

// The head of the card; its own fields are not part of this table yet.
const char* const tabOrder[] = {"toolButton_ico", "lineEdit_name", "lineEdit_descr", "scrollArea"};

const Form form = {
    CTX, QT_TRANSLATE_NOOP(CTX, "Беспроводное оборудование"), ":/32/oxygen/folders/wifi",
    200, 490, 200, 250, 178, 468,
    MainLayout::Grid, "gridLayout_main", "verticalLayout_scroll", "horizontalLayout_head", 2, -1,
    false, nullptr, 0, tabOrder, int(std::size(tabOrder)),
};

#undef CTX

} // namespace

CardWifi::CardWifi(QWidget* parent) : PatternCard(parent), ui(new CardForm(form))
{
    ui->setupUi(this);
    ui->init();
}

CardWifi::~CardWifi()
{
    delete ui;
}

void CardWifi::erase() { ui->erase(); }
bool CardWifi::setData(const FieldMap& map) { return ui->setData(map); }
FieldMap& CardWifi::getData() { return ui->getData(); }
void CardWifi::hideControls() { ui->hideControls(); }

void CardWifi::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        ui->retranslateUi();
}

void CardWifi::on_toolButton_ico_clicked() { changeIcon(ui->toolButton("toolButton_ico")); }
