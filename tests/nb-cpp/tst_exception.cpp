#include "nb-cpp/Exception.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>

class TestException : public QObject {
    Q_OBJECT

    // Closes the next modal box and remembers what it showed.
    void closeNextBox(QString* title, QString* text, int* icon)
    {
        QTimer::singleShot(0, this, [=]() {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) {
                closeNextBox(title, text, icon);
                return;
            }
            *title = box->windowTitle();
            *text = box->text();
            *icon = int(box->icon());
            box->accept();
        });
    }

private slots:
    void message_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("russian") << QByteArray("Невозможно открыть биометрический контейнер")
                                 << QString::fromUtf8("Невозможно открыть биометрический контейнер");
        QTest::newRow("empty") << QByteArray("") << QString();
    }
    void message()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, expected);
        Exception e(text.constData());
        QCOMPARE(e.message, expected);
    }

    void nullTextGivesEmptyMessage()
    {
        Exception e(nullptr);
        QVERIFY(e.message.isEmpty());
    }

    void caughtCopyOutlivesThrownObject()
    {
        QString kept;
        try {
            char buffer[] = "Ошибка обучения";
            throw Exception(buffer);
        } catch (Exception e) {
            kept = e.message;
        }
        QCOMPARE(kept, QString::fromUtf8("Ошибка обучения"));
    }

    void showErrorIsCriticalBoxTitledError()
    {
        QString title, text;
        int icon = -1;
        closeNextBox(&title, &text, &icon);
        showError(Exception("В контейнере отсутствует блок container_id").message);
        QCOMPARE(title, QString::fromUtf8("Ошибка"));
        QCOMPARE(text, QString::fromUtf8("В контейнере отсутствует блок container_id"));
        QCOMPARE(icon, int(QMessageBox::Critical));
    }

    void showErrorWithEmptyText()
    {
        QString title, text = QStringLiteral("x");
        int icon = -1;
        closeNextBox(&title, &text, &icon);
        showError(Exception(nullptr).message);
        QCOMPARE(title, QString::fromUtf8("Ошибка"));
        QVERIFY(text.isEmpty());
    }
};

#if defined(__SANITIZE_ADDRESS__)
// Qt's offscreen platform never deletes its screen objects at exit.
extern "C" __attribute__((visibility("default"), used)) const char* __lsan_default_suppressions()
{
    return "leak:QScreen::QScreen\n"
           "leak:QPlatformScreen::QPlatformScreen\n"
           "leak:QWindowSystemInterface::handleScreenAdded\n"
           "leak:libqoffscreen.so\n"
           "leak:QObject::QObject\n"
           "leak:ExternalRefCountData::getAndRef\n";
}
#endif

QTEST_MAIN(TestException)
#include "tst_exception.moc"
