#include "varnex/interface/cards/carduser.h"

#include <QClipboard>
#include <QDebug>
#include <QDesktopServices>
#include <QEvent>
#include <QGuiApplication>
#include <QLineEdit>
#include <QUrl>

#include "varnex/interface/cards/cardform.h"

namespace {

using namespace CardTable;

#define CTX "CardUser"

const Field fields[] = {
    {QT_TRANSLATE_NOOP(CTX, "URL"), "lineEdit_url", Editor::Line, NoFlags,
     "label_url", QT_TRANSLATE_NOOP(CTX, "STR_USER_URL"), 0, 1,
     {{"toolButton_url", ":/16/oxygen/buttons/internet", 1, 1, true}}},
    {QT_TRANSLATE_NOOP(CTX, "E-Mail"), "lineEdit_mail", Editor::Line, NoFlags,
     "label_mail", QT_TRANSLATE_NOOP(CTX, "STR_USER_MAIL"), 2, 3, {}},
    {QT_TRANSLATE_NOOP(CTX, "Имя пользователя"), "lineEdit_login", Editor::Line, NoFlags,
     "label_login", QT_TRANSLATE_NOOP(CTX, "STR_USER_LOGIN"), 4, 5, {}},
    {QT_TRANSLATE_NOOP(CTX, "Пароль"), "lineEdit_passw", Editor::Line, Latin | Masked,
     "label_passw", QT_TRANSLATE_NOOP(CTX, "STR_USER_PASSW"), 6, 7,
     {{"toolButton_clipboard", ":/16/oxygen/buttons/copy", 7, 1},
      {"toolButton_passw", ":/32/tango/buttons/keys", 7, 2}}},
    {QT_TRANSLATE_NOOP(CTX, "Примечания"), "lineEdit_note", Editor::Line, NoFlags,
     "label_note", QT_TRANSLATE_NOOP(CTX, "STR_USER_NOTE"), 8, 9,
     {{"toolButton_note", ":/32/tango/buttons/mail-attachment", 9, 2}}},
};

const char* const tabOrder[] = {
    "toolButton_ico", "lineEdit_name", "lineEdit_descr", "lineEdit_url", "lineEdit_mail",
    "lineEdit_login", "lineEdit_passw", "toolButton_passw", "lineEdit_note", "toolButton_note",
    "scrollArea",
};

const Form form = {
    CTX, QT_TRANSLATE_NOOP(CTX, "Учётная запись"), ":/32/oxygen/folders/user",
    200, 327, 200, 250, 178, 305,
    MainLayout::Grid, "gridLayout_main", "verticalLayout_scroll", "horizontalLayout_head", 2, -1,
    false, fields, int(std::size(fields)), tabOrder, int(std::size(tabOrder)),
};

#undef CTX

// What the open button hands to the desktop: an address without a scheme is
// a web address ("example.com" is http://example.com); nothing that names a
// local file or a drive path is opened.
QUrl webAddress(const QString& typed)
{
    const QString text = typed.trimmed();
    if (text.isEmpty())
        return QUrl();
    const QUrl url = QUrl::fromUserInput(text);
    if (!url.isValid() || url.isLocalFile() || url.scheme().size() < 2)
        return QUrl();
    return url;
}

} // namespace

CardUser::CardUser(QWidget* parent) : PatternCard(parent), ui(new CardForm(form))
{
    ui->setupUi(this);
    ui->init();
}

CardUser::~CardUser()
{
    delete ui;
}

void CardUser::erase() { ui->erase(); }
bool CardUser::setData(const FieldMap& map) { return ui->setData(map); }
FieldMap& CardUser::getData() { return ui->getData(); }

void CardUser::hideControls()
{
    qDebug() << "void CardUser::hideControls()";
    ui->hideControls();
}

void CardUser::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        ui->retranslateUi();
}

void CardUser::on_toolButton_ico_clicked() { changeIcon(ui->toolButton("toolButton_ico")); }

void CardUser::on_toolButton_url_clicked()
{
    const QUrl url = webAddress(ui->lineEdit("lineEdit_url")->text());
    if (url.isValid())
        QDesktopServices::openUrl(url);
}

void CardUser::on_toolButton_passw_clicked() { generatePassword(ui->lineEdit("lineEdit_passw")); }

void CardUser::on_toolButton_clipboard_clicked()
{
    // The stored password, not what the edit shows; it never goes to the log.
    QGuiApplication::clipboard()->setText(fields.value(ui->tr("Пароль")), QClipboard::Clipboard);
    qDebug() << "CardUser::on_toolButton_clipboard_clicked";
}

void CardUser::on_toolButton_note_clicked() { editNote(ui->lineEdit("lineEdit_note")); }
