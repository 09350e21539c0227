#include "varnex/interface/cards/cardform.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QDateEdit>
#include <QDebug>
#include <QDesktopServices>
#include <QFont>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QScrollArea>
#include <QSpacerItem>
#include <QTextDocument>
#include <QTextEdit>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include <functional>
#include <type_traits>

#include "varnex/interface/cards/patterncard.h"

using CardTable::Editor;
using CardTable::Field;

namespace {

// The four fields every card type holds, ahead of its own, and the form of a
// stored date; like every text of a card, translated in the card's context.
const char* const keyType = "Тип карточки";
const char* const keyIcon = "Иконка";
const char* const keyName = "Название карточки";
const char* const keyDescr = "Описание карточки";
const char* const dateFormat = "dd.MM.yyyy";

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

// The scroll contents of a card. When a card is first shown, its scroll area
// may resize the contents (to make room for the scroll bar) while the
// contents' own pending resize is being delivered; Qt drops that second
// resize, and the rows would keep the width they had without the scroll bar,
// running under it. The contents lays its rows out again when shown.
class CardContents : public QWidget
{
protected:
    void showEvent(QShowEvent* event) override
    {
        QWidget::showEvent(event);
        if (layout() && layout()->geometry() != rect())
            layout()->setGeometry(rect());
    }
};

// A date edit that shows no date (its blank special value) cannot take a
// typed or stepped date: typing lands beside the blank and steps start from
// no section. The first key or wheel turn that would change the date first
// puts today's date in, so that typing overwrites its day onwards and a step
// shows today; keys that move on (Tab, Return, Escape) leave the blank alone.
class BlankDateEntry : public QObject
{
public:
    BlankDateEntry(QDateEdit* edit, std::function<bool()> blank, std::function<void()> leave)
        : QObject(edit), m_edit(edit), m_blank(std::move(blank)), m_leave(std::move(leave))
    {
        edit->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        bool step = event->type() == QEvent::Wheel;
        bool typing = false;
        if (event->type() == QEvent::KeyPress) {
            auto* key = static_cast<QKeyEvent*>(event);
            step = key->key() == Qt::Key_Up || key->key() == Qt::Key_Down || key->key() == Qt::Key_PageUp ||
                   key->key() == Qt::Key_PageDown;
            typing = !key->text().isEmpty() && key->text().at(0).isPrint();
        }
        if ((!step && !typing) || m_edit->isReadOnly() || !m_blank())
            return false;
        m_leave();
        m_edit->setSelectedSection(QDateTimeEdit::DaySection);
        return step;  // the first step shows today
    }

private:
    QDateEdit* m_edit;
    std::function<bool()> m_blank;
    std::function<void()> m_leave;
};

} // namespace

CardForm::CardForm(const CardTable::Form& form) : m_form(form) {}

QString CardForm::tr(const char* text) const
{
    return QCoreApplication::translate(m_form.className, text);
}

QWidget* CardForm::widget(const char* name) const
{
    return m_widgets.value(QString::fromLatin1(name));
}

QLineEdit* CardForm::lineEdit(const char* name) const { return qobject_cast<QLineEdit*>(widget(name)); }
QDateEdit* CardForm::dateEdit(const char* name) const { return qobject_cast<QDateEdit*>(widget(name)); }
QTextEdit* CardForm::textEdit(const char* name) const { return qobject_cast<QTextEdit*>(widget(name)); }
QLabel* CardForm::label(const char* name) const { return qobject_cast<QLabel*>(widget(name)); }
QToolButton* CardForm::toolButton(const char* name) const { return qobject_cast<QToolButton*>(widget(name)); }

void CardForm::setupUi(PatternCard* card)
{
    m_card = card;
    const CardTable::Form& f = m_form;
    auto named = [this](auto* object, const char* name) {
        object->setObjectName(QString::fromLatin1(name));
        if constexpr (std::is_base_of_v<QWidget, std::remove_pointer_t<decltype(object)>>)
            m_widgets.insert(object->objectName(), object);
        return object;
    };

    if (card->objectName().isEmpty())
        card->setObjectName(QString::fromLatin1(f.className));
    card->resize(f.width, f.height);
    card->setMinimumSize(f.minWidth, f.minHeight);

    auto* verticalLayout = named(new QVBoxLayout(card), "verticalLayout");
    if (f.outerSpacing >= 0)
        verticalLayout->setSpacing(f.outerSpacing);

    auto* scrollArea = named(new QScrollArea(card), "scrollArea");
    scrollArea->setWidgetResizable(true);
    auto* contents = named(new CardContents(), "scrollAreaWidgetContents");
    contents->setGeometry(0, 0, f.contentsWidth, f.contentsHeight);
    auto* scrollLayout = named(new QVBoxLayout(contents), f.scrollLayoutName);

    auto* head = named(new QGridLayout(), "gridLayout_head");
    auto* headBox = named(new QHBoxLayout(), f.headBoxName);
    headBox->addWidget(named(new QLabel(contents), "label_ico"));
    headBox->addWidget(named(new QToolButton(contents), "toolButton_ico"));
    headBox->addWidget(named(new QLineEdit(contents), "lineEdit_name"));
    head->addLayout(headBox, 1, 0, 1, f.headSpan);
    head->addWidget(named(new QLineEdit(contents), "lineEdit_descr"), 2, 0, 1, f.headSpan);
    scrollLayout->addLayout(head);

    auto* body = named(new QGridLayout(), "gridLayout_body");
    for (int i = 0; i < f.fieldCount; ++i) {
        const Field& field = f.fields[i];
        body->addWidget(named(new QLabel(contents), field.labelName), field.labelRow, 0);
        QWidget* editor = nullptr;
        switch (field.editor) {
        case Editor::Line: {
            auto* edit = new QLineEdit(contents);
            if (field.flags & CardTable::Masked)
                edit->setEchoMode(QLineEdit::Password);
            editor = edit;
            break;
        }
        case Editor::Date:
            editor = new QDateEdit(contents);
            break;
        case Editor::Text: {
            auto* edit = new QTextEdit(contents);
            // A note is plain text: pasted formatting would be lost on saving.
            edit->setAcceptRichText(false);
            editor = edit;
            break;
        }
        }
        body->addWidget(named(editor, field.editorName), field.editorRow, 0);
        for (const CardTable::Button& b : field.buttons)
            if (b.name)
                body->addWidget(named(new QToolButton(contents), b.name), b.row, b.column);
    }
    scrollLayout->addLayout(body);
    scrollLayout->addItem(new QSpacerItem(20, 40, QSizePolicy::Minimum, QSizePolicy::Expanding));
    scrollArea->setWidget(contents);

    if (f.mainLayout == CardTable::MainLayout::Grid) {
        auto* main = named(new QGridLayout(), f.mainLayoutName);
        main->addWidget(scrollArea, 0, 0);
        verticalLayout->addLayout(main);
    } else {
        auto* main = named(new QVBoxLayout(), f.mainLayoutName);
        main->addWidget(scrollArea);
        verticalLayout->addLayout(main);
    }

    retranslateUi();

    for (int i = 1; i < f.tabCount; ++i) {
        QWidget* from = widget(f.tabOrder[i - 1]);
        QWidget* to = widget(f.tabOrder[i]);
        if (from && to)
            QWidget::setTabOrder(from, to);
    }

    QObject::connect(toolButton("toolButton_ico"), &QToolButton::clicked, card,
                     [card, this] { card->changeIcon(toolButton("toolButton_ico")); });
    for (int i = 0; i < f.fieldCount; ++i)
        for (const CardTable::Button& b : f.fields[i].buttons)
            if (b.name)
                QObject::connect(toolButton(b.name), &QToolButton::clicked, card,
                                 [this, &field = f.fields[i], &b] { run(field, b); });

    // Every change of the content, typed or set, marks the card as changed.
    QObject::connect(lineEdit("lineEdit_name"), &QLineEdit::textChanged, card, &PatternCard::cardTextChanged);
    QObject::connect(lineEdit("lineEdit_descr"), &QLineEdit::textChanged, card, &PatternCard::cardTextChanged);
    for (int i = 0; i < f.fieldCount; ++i) {
        const Field& field = f.fields[i];
        switch (field.editor) {
        case Editor::Line:
            QObject::connect(lineEdit(field.editorName), &QLineEdit::textChanged, card,
                             &PatternCard::cardTextChanged);
            break;
        case Editor::Date:
            QObject::connect(dateEdit(field.editorName), &QDateEdit::dateChanged, card,
                             &PatternCard::cardDateChanged);
            break;
        case Editor::Text:
            // The text edit's signal carries no text.
            QObject::connect(textEdit(field.editorName), &QTextEdit::textChanged, card,
                             [card] { emit card->cardChanged(true); });
            break;
        }
    }
}

void CardForm::run(const Field& field, const CardTable::Button& button)
{
    switch (button.action) {
    case CardTable::Action::None:
        break;
    case CardTable::Action::Note:
        m_card->editNote(widget(field.editorName));
        break;
    case CardTable::Action::Password:
        m_card->generatePassword(lineEdit(field.editorName));
        break;
    case CardTable::Action::Date:
        m_card->pickDate(dateEdit(field.editorName));
        break;
    case CardTable::Action::OpenUrl: {
        const QUrl url = webAddress(lineEdit(field.editorName)->text());
        if (url.isValid())
            QDesktopServices::openUrl(url);
        break;
    }
    case CardTable::Action::Copy:
        // The stored value, not what the edit shows; it never goes to the log.
        QGuiApplication::clipboard()->setText(m_card->fields.value(tr(field.key)), QClipboard::Clipboard);
        qDebug().noquote() << QStringLiteral("%1::on_%2_clicked").arg(QLatin1String(m_form.className),
                                                                       QLatin1String(button.name));
        break;
    }
}

void CardForm::retranslateUi()
{
    m_card->setWindowTitle(tr("Form"));
    if (m_form.formPlaceholders) {
        lineEdit("lineEdit_descr")->setPlaceholderText(tr(keyDescr));
        lineEdit("lineEdit_name")->setPlaceholderText(tr(keyName));
    }
    label("label_ico")->setText(tr("ico"));
    toolButton("toolButton_ico")->setText(tr("..."));
    for (int i = 0; i < m_form.fieldCount; ++i) {
        const Field& field = m_form.fields[i];
        label(field.labelName)->setText(tr(field.labelFormText));
        for (const CardTable::Button& b : field.buttons)
            if (b.name)
                toolButton(b.name)->setText(tr("..."));
    }
}

void CardForm::showIcon()
{
    // Card icons are the program's own resources; a stored path that names
    // anything else (a file on disk, a device) is kept but not read.
    const QString& path = m_card->iconPath;
    const bool resource = path.startsWith(QLatin1String(":/"));
    toolButton("toolButton_ico")->setIcon(resource ? QIcon(path) : QIcon());
    label("label_ico")->setPixmap(resource ? QPixmap(path) : QPixmap());
}

void CardForm::init()
{
    m_card->reset();
    m_card->iconPath = QString::fromLatin1(m_form.defaultIcon);
    showIcon();
    toolButton("toolButton_ico")->setIconSize(QSize(32, 32));
    label("label_ico")->setFixedSize(32, 32);

    for (int i = 0; i < m_form.fieldCount; ++i)
        for (const CardTable::Button& b : m_form.fields[i].buttons)
            if (b.name && b.icon)
                toolButton(b.name)->setIcon(QIcon(QString::fromLatin1(b.icon)));

    QFont font;
    font.setPointSize(10);
    lineEdit("lineEdit_name")->setFont(font);
    lineEdit("lineEdit_name")->setPlaceholderText(tr(keyName));
    lineEdit("lineEdit_descr")->setPlaceholderText(tr(keyDescr));

    for (int i = 0; i < m_form.fieldCount; ++i)
        label(m_form.fields[i].labelName)->setText(tr(m_form.fields[i].key));

    m_today = QDate::currentDate();
    for (int i = 0; i < m_form.fieldCount; ++i) {
        const Field& field = m_form.fields[i];
        if (field.editor != Editor::Date)
            continue;
        QDateEdit* edit = dateEdit(field.editorName);
        edit->setDateTime(QDateTime::currentDateTime());
        resetDateRange(edit, field);
        edit->setDisplayFormat(tr(dateFormat));
        new BlankDateEntry(edit, [this, edit] { return isBlank(edit); },
                           [this, edit, &field] {
                               resetDateRange(edit, field);
                               edit->setDate(QDate::currentDate());
                           });
    }

    for (int i = 0; i < m_form.fieldCount; ++i)
        if (m_form.fields[i].flags & CardTable::Latin)
            m_card->setLatinValidator(lineEdit(m_form.fields[i].editorName));
}

void CardForm::resetDateRange(QDateEdit* edit, const Field& field)
{
    QDate from = m_today.addYears(-50);
    if (field.flags & CardTable::DateSince1900)
        from = qMin(from, QDate(1900, 1, 1));
    edit->setSpecialValueText(QString());
    edit->setDateRange(from, m_today.addYears(50));
}

void CardForm::showDate(QDateEdit* edit, const Field& field, const QString& text)
{
    resetDateRange(edit, field);
    const QDate date = QDate::fromString(text, tr(dateFormat));
    if (date.isValid()) {
        // A stored date outside the usual range (time has moved it on, or an
        // old birth date) is shown as it is rather than clamped.
        if (date < edit->minimumDate())
            edit->setMinimumDate(date);
        if (date > edit->maximumDate())
            edit->setMaximumDate(date);
        edit->setDate(date);
        if (edit->date() == date)
            return;
    }
    // No date to show: the edit shows nothing (not the previous card's date)
    // and the stored text goes back unchanged unless a date is entered. The
    // blank is the edit's own special value, a day below the dates it offers,
    // so focusing the edit does not fill in a date of its own, and any date
    // typed, stepped to or picked replaces it.
    edit->setMinimumDate(edit->minimumDate().addDays(-1));
    edit->setSpecialValueText(QStringLiteral(" "));
    edit->setDate(edit->minimumDate());
    m_heldDates.insert(edit, text);
}

bool CardForm::isBlank(QDateEdit* edit) const
{
    return !edit->specialValueText().isEmpty() && edit->date() == edit->minimumDate();
}

QString CardForm::dateText(QDateEdit* edit) const
{
    if (isBlank(edit)) {
        const auto held = m_heldDates.constFind(edit);
        if (held != m_heldDates.constEnd())
            return *held;
    }
    return edit->date().toString(tr(dateFormat));
}

void CardForm::erase()
{
    m_card->reset();
    m_card->iconPath = QString::fromLatin1(m_form.defaultIcon);
    showIcon();
    m_card->clearEdits(m_card);
    m_heldDates.clear();
    m_heldNotes.clear();
    for (int i = 0; i < m_form.fieldCount; ++i) {
        const Field& field = m_form.fields[i];
        if (field.editor == Editor::Text) {
            textEdit(field.editorName)->clear();
        } else if (field.editor == Editor::Date) {
            // A new card starts from today, not from the previous card's date.
            QDateEdit* edit = dateEdit(field.editorName);
            resetDateRange(edit, field);
            edit->setDate(QDate::currentDate());
        }
    }
}

bool CardForm::setData(const FieldMap& map)
{
    if (m_form.setDataTrace)
        qDebug() << m_form.setDataTrace;
    m_card->fields = map;
    m_card->iconPath = map.value(tr(keyIcon));
    showIcon();
    lineEdit("lineEdit_name")->setText(map.value(tr(keyName)));
    lineEdit("lineEdit_descr")->setText(map.value(tr(keyDescr)));
    m_heldDates.clear();
    m_heldNotes.clear();
    for (int i = 0; i < m_form.fieldCount; ++i) {
        const Field& field = m_form.fields[i];
        const QString value = map.value(tr(field.key));
        switch (field.editor) {
        case Editor::Line:
            m_card->putText(lineEdit(field.editorName), value);
            break;
        case Editor::Date:
            showDate(dateEdit(field.editorName), field, value);
            break;
        case Editor::Text: {
            // Stored as plain text: shown as plain text, never as markup.
            QTextEdit* edit = textEdit(field.editorName);
            edit->setPlainText(value);
            m_heldNotes.insert(edit, qMakePair(value, noteText(edit)));
            break;
        }
        }
    }
    m_card->updateControls();
    return true;
}

FieldMap& CardForm::getData()
{
    FieldMap& fields = m_card->fields;
    fields.insert(tr(keyType), tr(m_form.typeName));
    fields.insert(tr(keyIcon), m_card->iconPath);
    fields.insert(tr(keyName), lineEdit("lineEdit_name")->text());
    fields.insert(tr(keyDescr), lineEdit("lineEdit_descr")->text());
    for (int i = 0; i < m_form.fieldCount; ++i) {
        const Field& field = m_form.fields[i];
        QString value;
        switch (field.editor) {
        case Editor::Line:
            value = lineEdit(field.editorName)->text();
            break;
        case Editor::Date:
            value = dateText(dateEdit(field.editorName));
            break;
        case Editor::Text: {
            QTextEdit* edit = textEdit(field.editorName);
            value = noteText(edit);
            const auto held = m_heldNotes.constFind(edit);
            if (held != m_heldNotes.constEnd() && held->second == value)
                value = held->first;
            break;
        }
        }
        fields.insert(tr(field.key), value);
    }
    return fields;
}

QString CardForm::noteText(QTextEdit* edit) const
{
    // The editor's text with its paragraphs and its line breaks within a
    // paragraph (Shift+Enter) as line feeds; unlike toPlainText it keeps
    // non-breaking spaces.
    QString text = edit->document()->toRawText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    text.replace(QChar::LineSeparator, QLatin1Char('\n'));
    return text;
}

void CardForm::hideControls()
{
    if (m_form.hideTrace) {
        if (m_form.hideTraceState)
            qDebug() << m_form.hideTrace << m_card->readOnly;
        else
            qDebug() << m_form.hideTrace;
    }
    const FieldMap& fields = m_card->fields;
    if (fields.value(tr(keyDescr)).isEmpty())
        lineEdit("lineEdit_descr")->setVisible(false);
    for (int i = 0; i < m_form.fieldCount; ++i) {
        const Field& field = m_form.fields[i];
        if (!fields.value(tr(field.key)).isEmpty())
            continue;
        widget(field.editorName)->setVisible(false);
        label(field.labelName)->setVisible(false);
        for (const CardTable::Button& b : field.buttons)
            if (b.name && b.hiddenWithRow)
                toolButton(b.name)->setVisible(false);
    }
}
