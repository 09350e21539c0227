#include "varnex/interface/cards/cardlock.h"

#include <QEvent>

#include "varnex/interface/cards/cardform.h"

namespace {

using namespace CardTable;

#define CTX "CardLock"

// The head of the card; its own fields are not part of this table yet.
const char* const tabOrder[] = {"toolButton_ico", "lineEdit_name", "lineEdit_descr", "scrollArea"};

const Form form = {
    CTX, QT_TRANSLATE_NOOP(CTX, "Кодовый замок"), ":/32/oxygen/folders/lock",
    200, 200, 200, 200, 178, 178,
    MainLayout::Grid, "gridLayout_main", "verticalLayout_scroll", "horizontalLayout_head", 2, -1,
    false, nullptr, 0, tabOrder, int(std::size(tabOrder)),
};

#undef CTX

} // namespace

CardLock::CardLock(QWidget* parent) : PatternCard(parent), ui(new CardForm(form))
{
    ui->setupUi(this);
    ui->init();
}

CardLock::~CardLock()
{
    delete ui;
}

void CardLock::erase() { ui->erase(); }
bool CardLock::setData(const FieldMap& map) { return ui->setData(map); }
FieldMap& CardLock::getData() { return ui->getData(); }
void CardLock::hideControls() { ui->hideControls(); }

void CardLock::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        ui->retranslateUi();
}

void CardLock::on_toolButton_ico_clicked() { changeIcon(ui->toolButton("toolButton_ico")); }
