#include "varnex/interface/mainwindow.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTextCodec>
#include <QTranslator>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));

    // Qt's own texts in the user's language when a translation is there.
    QTranslator* translator = new QTranslator(&app);
    if (translator->load(QStringLiteral("qt_") + QLocale::system().name(),
                         QLibraryInfo::location(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);

    int result;
    {
        MainWindow window;
        window.show();
        result = app.exec();
    }
    return result;
}
