#include "varnex/interface/cards/cardcloud.h"

#include <QEvent>

#include "varnex/interface/cards/cardform.h"

namespace {

using namespace CardTable;

#define CTX "CardCloud"

// The head of the card; its own fields are not part of this table yet.
const char* const tabOrder[] = {"toolButton_ico", "lineEdit_name", "lineEdit_descr", "scrollArea"};

const Form form = {
    CTX, QT_TRANSLATE_NOOP(CTX, "Онлайн хранилище"), ":/32/oxygen/folders/cloud",
    200, 328, 200, 250, 178, 306,
    MainLayout::Grid, "gridLayout_main", "verticalLayout_scroll", "horizontalLayout", 2, -1,
    false, nullptr, 0, tabOrder, int(std::size(tabOrder)),
};

#undef CTX

} // namespace

CardCloud::CardCloud(QWidget* parent) : PatternCard(parent), ui(new CardForm(form))
{
    ui->setupUi(this);
    ui->init();
}

CardCloud::~CardCloud()
{
    delete ui;
}

void CardCloud::erase() { ui->erase(); }
bool CardCloud::setData(const FieldMap& map) { return ui->setData(map); }
FieldMap& CardCloud::getData() { return ui->getData(); }
void CardCloud::hideControls() { ui->hideControls(); }

void CardCloud::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        ui->retranslateUi();
}

void CardCloud::on_toolButton_ico_clicked() { changeIcon(ui->toolButton("toolButton_ico")); }
