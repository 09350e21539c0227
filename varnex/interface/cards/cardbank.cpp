#include "varnex/interface/cards/cardbank.h"

#include <QEvent>

#include "varnex/interface/cards/cardform.h"

namespace {

using namespace CardTable;

#define CTX "CardBank"

// The head of the card; its own fields are not part of this table yet.
const char* const tabOrder[] = {"toolButton_ico", "lineEdit_name", "lineEdit_descr", "scrollArea"};

const Form form = {
    CTX, QT_TRANSLATE_NOOP(CTX, "Банковская карта"), ":/32/oxygen/folders/bank",
    200, 632, 200, 250, 178, 610,
    MainLayout::Box, "verticalLayout_main", "verticalLayout_scroll", "horizontalLayout_head", 2, -1,
    true, nullptr, 0, tabOrder, int(std::size(tabOrder)),
};

#undef CTX

} // namespace

CardBank::CardBank(QWidget* parent) : PatternCard(parent), ui(new CardForm(form))
{
    ui->setupUi(this);
    ui->init();
}

CardBank::~CardBank()
{
    delete ui;
}

void CardBank::erase() { ui->erase(); }
bool CardBank::setData(const FieldMap& map) { return ui->setData(map); }
FieldMap& CardBank::getData() { return ui->getData(); }
void CardBank::hideControls() { ui->hideControls(); }

void CardBank::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        ui->retranslateUi();
}

void CardBank::on_toolButton_ico_clicked() { changeIcon(ui->toolButton("toolButton_ico")); }
