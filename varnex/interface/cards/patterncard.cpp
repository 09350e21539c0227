#include "varnex/interface/cards/patterncard.h"

#include <QAbstractSpinBox>
#include <QDateEdit>
#include <QDebug>
#include <QLabel>
#include <QLineEdit>
#include <QRegExp>
#include <QRegExpValidator>
#include <QTextEdit>
#include <QToolButton>

#include "varnex/interface/calendardlg.h"
#include "varnex/interface/genpswdlg.h"
#include "varnex/interface/icondlg.h"

namespace {

bool isViewButton(const QString& name)
{
    return name == QLatin1String("toolButton_clipboard") || name == QLatin1String("toolButton_url");
}

// The line edit inside a date edit belongs to the date edit, not to a row.
bool isOwnLineEdit(const QLineEdit* edit)
{
    return !qobject_cast<const QAbstractSpinBox*>(edit->parentWidget());
}

} // namespace

PatternCard::PatternCard(QWidget* parent) : QWidget(parent)
{
    reset();
}

PatternCard::~PatternCard() = default;

void PatternCard::erase()
{
    qDebug() << "PatternCard::erase";
    reset();
}

bool PatternCard::setData(const FieldMap&)
{
    qDebug() << "PatternCard::setData";
    return true;
}

FieldMap& PatternCard::getData()
{
    qDebug() << "PatternCard::getData";
    return fields;
}

void PatternCard::hideControls()
{
    qDebug() << "PatternCard::hideControls()";
}

bool PatternCard::isReadOnly() const
{
    qDebug() << "PatternCard::isReadOnly";
    return readOnly;
}

void PatternCard::setReadOnly(bool flag)
{
    readOnly = flag;
    setEditsReadOnly(this, flag);
    setButtonsVisible(this, !flag);
    if (!flag)
        showControls(this);
}

void PatternCard::updateControls()
{
    qDebug() << "PatternCard::updateControls()" << readOnly;
    if (readOnly) {
        // Rows that an earlier card of this type hid come back before the
        // new content decides which rows stay hidden.
        showRows(this);
        // The view's own buttons (open, copy) come back with their rows.
        setButtonsVisible(this, false);
        hideControls();
    } else {
        showControls(this);
    }
}

void PatternCard::showControls(QWidget* root)
{
    for (QToolButton* button : root->findChildren<QToolButton*>()) {
        qDebug() << button->objectName();
        if (!isViewButton(button->objectName()))
            button->show();
    }
    showRows(root);
}

void PatternCard::showRows(QWidget* root)
{
    for (QLabel* label : root->findChildren<QLabel*>())
        if (label->objectName() != QLatin1String("label_ico"))
            label->show();
    for (QLineEdit* edit : root->findChildren<QLineEdit*>())
        edit->show();
    for (QTextEdit* edit : root->findChildren<QTextEdit*>())
        edit->show();
    for (QDateEdit* edit : root->findChildren<QDateEdit*>())
        edit->show();
}

void PatternCard::reset()
{
    fields = FieldMap();
    readOnly = true;
    setReadOnly(true);
}

void PatternCard::setEditsReadOnly(QWidget* root, bool flag)
{
    for (QLineEdit* edit : root->findChildren<QLineEdit*>())
        if (isOwnLineEdit(edit))
            edit->setReadOnly(flag);
    for (QDateEdit* edit : root->findChildren<QDateEdit*>())
        edit->setReadOnly(flag);
}

void PatternCard::clearEdits(QWidget* root)
{
    for (QLineEdit* edit : root->findChildren<QLineEdit*>())
        if (isOwnLineEdit(edit))
            edit->clear();
    for (QDateEdit* edit : root->findChildren<QDateEdit*>())
        edit->QAbstractSpinBox::clear();
}

void PatternCard::setButtonsVisible(QWidget* root, bool visible)
{
    for (QToolButton* button : root->findChildren<QToolButton*>()) {
        if (isViewButton(button->objectName()))
            button->setVisible(!visible);
        else
            button->setVisible(visible);
    }
    if (QLabel* labelIco = root->findChild<QLabel*>(QStringLiteral("label_ico")))
        labelIco->setVisible(!visible);
}

void PatternCard::setLatinValidator(QLineEdit* edit)
{
    const QRegExp latin(tr("[A-Za-z0-9]{0,32}"), Qt::CaseSensitive, QRegExp::RegExp);
    edit->setValidator(new QRegExpValidator(latin, this));
}

void PatternCard::editNote(QWidget*)
{
}

void PatternCard::changeIcon(QToolButton* button)
{
    if (isReadOnly())
        return;
    IconDlg dialog(this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    button->setIcon(dialog.icon());
    iconPath = dialog.iconPath();
    emit cardChanged(true);
}

void PatternCard::pickDate(QDateEdit* edit)
{
    CalendarDlg dialog(this);
    if (dialog.exec() == QDialog::Accepted)
        edit->setDate(dialog.getDate());
}

void PatternCard::generatePassword(QLineEdit* edit)
{
    GenPswDlg dialog(this);
    if (dialog.exec() == QDialog::Accepted)
        edit->setText(dialog.password());
}

void PatternCard::cardTextChanged(const QString&)
{
    emit cardChanged(true);
}

void PatternCard::cardDateChanged(const QDate&)
{
    emit cardChanged(true);
}
