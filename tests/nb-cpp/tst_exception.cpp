#include "nb-cpp/Exception.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>

class TestException : public QObject {
    Q_OBJECT

    // Closes the next modal box, remembering its title, text and icon.
    void closeNextBox(QStringList* seen)
    {
        QTimer::singleShot(0, this, [=]() {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return closeNextBox(seen);
            *seen << box->windowTitle() << box->text() << QString::number(box->icon());
            box->accept();
        });
    }

private slots:
    void message()
    {
        QVERIFY(Exception(nullptr).message.isEmpty());
        QString kept;
        try {
            char buffer[] = "Ошибка обучения";
            throw Exception(buffer);
        } catch (Exception e) {
            kept = e.message; // outlives the thrown object and its text
        }
        QCOMPARE(kept, QString::fromUtf8("Ошибка обучения"));
    }

    void showError_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("text") << QByteArray("В контейнере отсутствует блок container_id");
        QTest::newRow("null") << QByteArray();
    }
    void showError()
    {
        QFETCH(QByteArray, text);
        QStringList seen;
        closeNextBox(&seen);
        ::showError(Exception(text.isNull() ? nullptr : text.constData()).message);
        QCOMPARE(seen, (QStringList{QString::fromUtf8("Ошибка"), QString::fromUtf8(text),
                                    QString::number(QMessageBox::Critical)}));
    }
};

QTEST_MAIN(TestException)
#include "tst_exception.moc"
