#pragma once
// Drives modal dialogs, message boxes and popup menus while a test waits
// for them. Expected windows are queued in order; a timer looks at the
// active popup or modal widget, and when it matches the next expectation
// (by object name or class name) runs that step's action. The action runs
// from a fresh zero timer, so it may itself open a nested modal loop that
// the driver then serves as well. Message boxes are recorded with their
// title and text. Anything unexpected is recorded and closed, so that a
// test fails instead of hanging.

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QLineEdit>
#include <QList>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QStringList>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <functional>

class ModalDriver : public QObject {
public:
    struct Box {
        QString title;
        QString text;
    };
    using Action = std::function<void(QWidget*)>;

    explicit ModalDriver(int intervalMs = 5)
    {
        connect(&m_timer, &QTimer::timeout, this, &ModalDriver::poll);
        m_timer.start(intervalMs);
    }

    // expected: the window's object name or its class name.
    ModalDriver& on(const QString& expected, Action action)
    {
        m_steps.append(Step{expected, std::move(action)});
        return *this;
    }

    // A message box: its title and text are recorded, then the button is
    // clicked.
    ModalDriver& box(QMessageBox::StandardButton button = QMessageBox::Ok)
    {
        return on(QStringLiteral("QMessageBox"), [this, button](QWidget* w) {
            QMessageBox* mb = static_cast<QMessageBox*>(w);
            boxes.append(Box{mb->windowTitle(), mb->text()});
            if (QAbstractButton* b = mb->button(button))
                QTest::mouseClick(b, Qt::LeftButton);
            else
                errors << QStringLiteral("message box without the button");
        });
    }

    // A file dialog (Qt's own under offscreen): its caption, name filters
    // and proposed file are recorded, then the path is chosen, or the
    // dialog cancelled for an empty path.
    ModalDriver& file(const QString& path)
    {
        return on(QStringLiteral("QFileDialog"), [this, path](QWidget* w) {
            QFileDialog* fd = static_cast<QFileDialog*>(w);
            files.append(QStringList{fd->windowTitle(), fd->nameFilters().join(';'), fd->selectedFiles().value(0)});
            if (path.isEmpty()) {
                fd->reject();
                return;
            }
            // Typed, as a person would: selectFile() leaves a focused name field alone.
            if (QLineEdit* name = fd->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
                name->setText(path);
            static_cast<QDialog*>(fd)->accept(); // as the dialog's own button does
        });
    }

    bool done() const { return m_steps.isEmpty() && !m_busy; }

    // Clicks the named button and serves what it opens: true when every step
    // ran and nothing unexpected came up.
    bool press(QWidget* root, const char* name, int timeoutMs = 5000)
    {
        click(root, name);
        return QTest::qWaitFor([this] { return done(); }, timeoutMs) && errors.isEmpty();
    }
    int pending() const { return m_steps.size(); }

    // Clears the named line edit, then types the text key by key (so that
    // validators apply).
    static void type(QWidget* root, const char* name, const QString& text)
    {
        QLineEdit* edit = root->findChild<QLineEdit*>(QLatin1String(name));
        if (!edit)
            return;
        edit->clear();
        keys(edit, text);
    }
    // Types key by key; characters beyond ASCII go as text-only key events.
    static void keys(QWidget* target, const QString& text)
    {
        for (const QChar ch : text) {
            if (ch.unicode() > 0x20 && ch.unicode() < 0x7f)
                QTest::keyClick(target, char(ch.unicode()));
            else
                QTest::sendKeyEvent(QTest::Click, target, Qt::Key_unknown, QString(ch), Qt::NoModifier);
        }
    }
    template <typename T>
    static T* find(QWidget* root, const char* name)
    {
        return root->findChild<T*>(QLatin1String(name));
    }
    static void click(QWidget* root, const char* name)
    {
        if (QAbstractButton* b = root->findChild<QAbstractButton*>(QLatin1String(name)))
            QTest::mouseClick(b, Qt::LeftButton);
    }

    QList<Box> boxes;
    QList<QStringList> files; // caption, filters, proposed file
    QStringList errors; // unexpected windows and missing buttons

private:
    struct Step {
        QString expected;
        Action action;
    };

    static QString nameOf(QWidget* w)
    {
        return w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className()) : w->objectName();
    }
    static bool matches(QWidget* w, const QString& expected)
    {
        return w->objectName() == expected || w->inherits(expected.toLatin1().constData());
    }

    void poll()
    {
        if (m_busy)
            return;
        QWidget* w = QApplication::activePopupWidget();
        if (!w)
            w = QApplication::activeModalWidget();
        if (!w || !w->isVisible()) {
            m_strange = nullptr;
            return;
        }
        if (!m_steps.isEmpty() && matches(w, m_steps.first().expected)) {
            m_strange = nullptr;
            Step step = m_steps.takeFirst();
            m_busy = true;
            QPointer<QWidget> target(w);
            QTimer::singleShot(0, this, [this, step, target]() {
                m_busy = false;
                if (target)
                    step.action(target);
                else
                    errors << QStringLiteral("window gone before its step: ") + step.expected;
            });
            return;
        }
        // Give the program a moment to move on before calling it unexpected.
        if (w != m_strange) {
            m_strange = w;
            m_strangeTicks = 0;
            return;
        }
        if (++m_strangeTicks < 60)
            return;
        errors << QStringLiteral("unexpected window: ") + nameOf(w)
                      + (m_steps.isEmpty() ? QString() : QStringLiteral(" (expected ") + m_steps.first().expected + ')');
        m_strange = nullptr;
        if (QMenu* menu = qobject_cast<QMenu*>(w))
            menu->close();
        else if (QDialog* dlg = qobject_cast<QDialog*>(w))
            dlg->reject();
        else
            w->close();
    }

    QTimer m_timer;
    QList<Step> m_steps;
    bool m_busy = false;
    QPointer<QWidget> m_strange;
    int m_strangeTicks = 0;
};

// Acts on the next modal dialog once it is shown; a test expecting none
// deletes the returned poller.
inline QTimer* onNextDialog(std::function<void(QWidget*)> act)
{
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        if (QWidget* dialog = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            act(dialog);
        }
    });
    timer->start();
    return timer;
}
