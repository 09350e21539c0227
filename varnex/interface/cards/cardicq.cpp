#include "varnex/interface/cards/cardicq.h"

#include <QEvent>

#include "varnex/interface/cards/cardform.h"

namespace {

using namespace CardTable;

#define CTX "CardIcq"

// The head of the card; its own fields are not part of this table yet.
const char* const tabOrder[] = {"toolButton_ico", "lineEdit_name", "lineEdit_descr", "scrollArea"};

const Form form = {
    CTX, QT_TRANSLATE_NOOP(CTX, "Мессенджер"), ":/32/oxygen/folders/icq",
    200, 284, 200, 250, 178, 262,
    MainLayout::Grid, "gridLayout", "verticalLayout_scroll", "horizontalLayout", 2, -1,
    false, nullptr, 0, tabOrder, int(std::size(tabOrder)),
};

#undef CTX

} // namespace

CardIcq::CardIcq(QWidget* parent) : PatternCard(parent), ui(new CardForm(form))
{
    ui->setupUi(this);
    ui->init();
}

CardIcq::~CardIcq()
{
    delete ui;
}

void CardIcq::erase() { ui->erase(); }
bool CardIcq::setData(const FieldMap& map) { return ui->setData(map); }
FieldMap& CardIcq::getData() { return ui->getData(); }
void CardIcq::hideControls() { ui->hideControls(); }

void CardIcq::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        ui->retranslateUi();
}

void CardIcq::on_toolButton_ico_clicked() { changeIcon(ui->toolButton("toolButton_ico")); }
