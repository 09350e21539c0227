#include "varnex/interface/cards/cardserver.h"

#include <QEvent>

#include "varnex/interface/cards/cardform.h"

namespace {

using namespace CardTable;

#define CTX "CardServer"

// The head of the card; its own fields are not part of this table yet.
const char* const tabOrder[] = {"toolButton_ico", "lineEdit_name", "lineEdit_descr", "scrollArea"};

const Form form = {
    CTX, QT_TRANSLATE_NOOP(CTX, "Сервер"), ":/32/oxygen/folders/server",
    200, 330, 200, 250, 178, 308,
    MainLayout::Grid, "gridLayout_main", "verticalLayout_scroll", "horizontalLayout_head", 2, -1,
    false, nullptr, 0, tabOrder, int(std::size(tabOrder)),
};

#undef CTX

} // namespace

CardServer::CardServer(QWidget* parent) : PatternCard(parent), ui(new CardForm(form))
{
    ui->setupUi(this);
    ui->init();
}

CardServer::~CardServer()
{
    delete ui;
}

void CardServer::erase() { ui->erase(); }
bool CardServer::setData(const FieldMap& map) { return ui->setData(map); }
FieldMap& CardServer::getData() { return ui->getData(); }
void CardServer::hideControls() { ui->hideControls(); }

void CardServer::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        ui->retranslateUi();
}

void CardServer::on_toolButton_ico_clicked() { changeIcon(ui->toolButton("toolButton_ico")); }
