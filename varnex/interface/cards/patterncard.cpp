#include "varnex/interface/cards/patterncard.h"

#include <QAbstractSpinBox>
#include <QDateEdit>
#include <QDebug>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRegExp>
#include <QRegExpValidator>
#include <QSet>
#include <QTextEdit>
#include <QToolButton>
#include <QVector>

#include "varnex/interface/calendardlg.h"
#include "varnex/interface/cards/cardform.h"
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

bool isLatin(QChar c)
{
    return (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) || (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
           (c >= QLatin1Char('0') && c <= QLatin1Char('9'));
}

// Whether `after` is `before` with one stretch replaced by Latin letters and
// digits, which is what one keystroke, paste or deletion can make of it; once
// the text is longer than 32 characters nothing may be added.
bool typedLatin(const QString& before, const QString& after)
{
    const int n = before.size(), m = after.size();
    int prefix = 0;
    while (prefix < n && prefix < m && before[prefix] == after[prefix])
        ++prefix;
    int suffix = 0;
    while (suffix < n && suffix < m && before[n - 1 - suffix] == after[m - 1 - suffix])
        ++suffix;
    // others[i]: characters other than Latin letters and digits in after[0, i).
    QVector<int> others(m + 1, 0);
    for (int i = 0; i < m; ++i)
        others[i + 1] = others[i] + (isLatin(after[i]) ? 0 : 1);
    // after = before[0, x) + typed + before[n - y, n): try every split.
    for (int x = 0; x <= prefix; ++x) {
        const int y = qMin(suffix, qMin(n, m) - x);
        const int end = m - y;
        if (others[end] - others[x] == 0 && (m <= 32 || end == x))
            return true;
    }
    return false;
}

} // namespace

// Typing into a password or code edit is limited to Latin letters and
// digits, at most 32. Qt's own validator only undoes a keystroke that spoils
// a valid text, so once the program has put in a text that the pattern
// refuses (a generated password with signs, a stored one), it would let
// anything be typed. This one also accepts the program's text and every text
// the edit has held since (undo and redo go back to those), and judges any
// other change by what it adds to the text the edit holds.
class LatinValidator : public QRegExpValidator
{
public:
    LatinValidator(const QRegExp& pattern, QObject* parent, QLineEdit* edit)
        : QRegExpValidator(pattern, parent), m_current(edit->text())
    {
        m_held.insert(m_current);
        QObject::connect(edit, &QLineEdit::textChanged, this, [this](const QString& text) {
            m_current = text;
            m_held.insert(text);
        });
    }

    // The program puts in a text of its own; the edit's history starts anew.
    void restart(const QString& text)
    {
        m_held.clear();
        m_held.insert(text);
        m_current = text;
    }

    State validate(QString& input, int& pos) const override
    {
        const State state = QRegExpValidator::validate(input, pos);
        if (state != Invalid || m_held.contains(input) || typedLatin(m_current, input))
            return state == Invalid ? Acceptable : state;
        return Invalid;
    }

private:
    QString m_current;
    QSet<QString> m_held;
};

PatternCard::PatternCard(QWidget* parent) : QWidget(parent)
{
    reset();
}

PatternCard::PatternCard(const CardTable::Form& table, QWidget* parent) : PatternCard(parent)
{
    ui = new CardForm(table);
    ui->setupUi(this);
    ui->init();
}

PatternCard::~PatternCard()
{
    delete ui;
}

void PatternCard::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (ui && event->type() == QEvent::LanguageChange)
        ui->retranslateUi();
}

void PatternCard::erase()
{
    if (ui) {
        ui->erase();
        return;
    }
    qDebug() << "PatternCard::erase";
    reset();
}

bool PatternCard::setData(const FieldMap& map)
{
    if (ui)
        return ui->setData(map);
    qDebug() << "PatternCard::setData";
    return true;
}

FieldMap& PatternCard::getData()
{
    if (ui)
        return ui->getData();
    qDebug() << "PatternCard::getData";
    return fields;
}

void PatternCard::hideControls()
{
    if (ui) {
        ui->hideControls();
        return;
    }
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
    // A note is read-only in the view like every other field.
    for (QTextEdit* edit : findChildren<QTextEdit*>())
        edit->setReadOnly(flag);
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
    // Set, not cleared: a clear is an edit that undo takes back, and the
    // card serves the next card, which must not get this one's texts back.
    for (QLineEdit* edit : root->findChildren<QLineEdit*>())
        if (isOwnLineEdit(edit))
            putText(edit, QString());
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
    edit->setValidator(new LatinValidator(latin, this, edit));
}

void PatternCard::putText(QLineEdit* edit, const QString& text)
{
    if (auto* latin = dynamic_cast<const LatinValidator*>(edit->validator()))
        const_cast<LatinValidator*>(latin)->restart(text);
    edit->setText(text);
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
        putText(edit, dialog.password());
}

void PatternCard::cardTextChanged(const QString&)
{
    emit cardChanged(true);
}

void PatternCard::cardDateChanged(const QDate&)
{
    emit cardChanged(true);
}
