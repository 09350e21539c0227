#include "varnex/interface/icontable.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QImageReader>
#include <QRegularExpression>
#include <QSet>
#include <QtTest>

namespace {

// Every picture the window, the dialogs and the card editors load.
const QStringList kPaths = {
    ":/icons/main-icon",
    ":/16/oxygen/buttons/clear", ":/16/oxygen/buttons/copy", ":/16/oxygen/buttons/export",
    ":/16/oxygen/buttons/internet", ":/16/oxygen/buttons/key-from-bio", ":/16/oxygen/buttons/new",
    ":/16/oxygen/buttons/rename", ":/16/oxygen/buttons/save",
    ":/32/cabinets/logo_beeline", ":/32/cabinets/logo_gmail", ":/32/cabinets/logo_gosuslugi",
    ":/32/cabinets/logo_mail_ru", ":/32/cabinets/logo_odnoklassniki", ":/32/cabinets/logo_vk",
    ":/32/oxygen/buttons/backup", ":/32/oxygen/buttons/calendar", ":/32/oxygen/buttons/clear",
    ":/32/oxygen/buttons/copy", ":/32/oxygen/buttons/cut", ":/32/oxygen/buttons/database-remove",
    ":/32/oxygen/buttons/edit", ":/32/oxygen/buttons/exit", ":/32/oxygen/buttons/find",
    ":/32/oxygen/buttons/help", ":/32/oxygen/buttons/input-mode", ":/32/oxygen/buttons/new",
    ":/32/oxygen/buttons/password-add", ":/32/oxygen/buttons/paste", ":/32/oxygen/buttons/preview-nbc",
    ":/32/oxygen/buttons/previous", ":/32/oxygen/buttons/restore", ":/32/oxygen/buttons/save",
    ":/32/oxygen/buttons/settings", ":/32/oxygen/buttons/tablet-add", ":/32/oxygen/buttons/undo",
    ":/32/oxygen/folders/bank", ":/32/oxygen/folders/car", ":/32/oxygen/folders/cloud",
    ":/32/oxygen/folders/computer", ":/32/oxygen/folders/forum", ":/32/oxygen/folders/icq",
    ":/32/oxygen/folders/lock", ":/32/oxygen/folders/mail", ":/32/oxygen/folders/note",
    ":/32/oxygen/folders/passport", ":/32/oxygen/folders/periph", ":/32/oxygen/folders/server",
    ":/32/oxygen/folders/site", ":/32/oxygen/folders/user", ":/32/oxygen/folders/wifi",
    ":/32/oxygen/pics/container",
    ":/32/tango/buttons/keys", ":/32/tango/buttons/mail-attachment", ":/32/tango/buttons/refresh",
};

// The resource paths named in the program's own sources and forms.
QStringList pathsInSources()
{
    const QString root = QFileInfo(QStringLiteral(__FILE__)).absolutePath() + "/../../varnex";
    const QRegularExpression quoted(QStringLiteral("[\">](:/[^\"<\\s]+)[\"<]"));
    QSet<QString> found;
    QDirIterator it(root, {"*.cpp", "*.h", "*.ui"}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile f(it.next());
        if (!f.open(QIODevice::ReadOnly))
            continue;
        const QString text = QString::fromUtf8(f.readAll());
        for (auto m = quoted.globalMatch(text); m.hasNext();) {
            const QString path = m.next().captured(1);
            if (!path.endsWith('/')) // a folder that a name is appended to
                found.insert(path);
        }
    }
    QStringList out = found.values();
    out.sort();
    return out;
}

} // namespace

class TestResources : public QObject {
    Q_OBJECT

private slots:
    // Each loads as a picture of the size its name says (the main icon is
    // larger, for the About box).
    void everyPathLoads_data()
    {
        QTest::addColumn<QString>("path");
        QSet<QString> all(kPaths.begin(), kPaths.end());
        for (const QString& p : iconTable())
            all.insert(p);
        const QStringList named = pathsInSources();
        QVERIFY(named.contains(":/icons/main-icon"));
        for (const QString& p : named)
            all.insert(p);
        QStringList sorted = all.values();
        sorted.sort();
        for (const QString& p : sorted)
            QTest::newRow(qPrintable(p)) << p;
    }
    void everyPathLoads()
    {
        QFETCH(QString, path);
        QVERIFY2(QFile::exists(path), "not in the resource file");
        const QIcon icon(path);
        QVERIFY(!icon.isNull());
        QVERIFY(!icon.pixmap(32, 32).isNull());
        QCOMPARE(QImageReader::imageFormat(path), QByteArray("png"));
        QImageReader reader(path);
        const QImage image = reader.read();
        QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
        if (path.startsWith(":/32/"))
            QCOMPARE(image.size(), QSize(32, 32));
        else if (path.startsWith(":/16/"))
            QCOMPARE(image.size(), QSize(16, 16));
        else
            QVERIFY(image.width() >= 32 && image.width() == image.height());
        // Not an empty square: some pixel is drawn.
        bool drawn = false;
        for (int y = 0; y < image.height() && !drawn; ++y)
            for (int x = 0; x < image.width() && !drawn; ++x)
                drawn = qAlpha(image.pixel(x, y)) > 0;
        QVERIFY(drawn);
    }

    // The table's pictures are told apart at a glance: no two alike.
    void tablePicturesDiffer()
    {
        QSet<QByteArray> seen;
        for (const QString& p : iconTable()) {
            QFile f(p);
            QVERIFY(f.open(QIODevice::ReadOnly));
            const QByteArray bytes = f.readAll();
            QVERIFY2(!seen.contains(bytes), qPrintable(p));
            seen.insert(bytes);
        }
    }

    void licencesTravelWithTheIcons_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("mark");
        QTest::newRow("oxygen") << ":/licenses/oxygen-icon-theme" << "Oxygen";
        QTest::newRow("tango") << ":/licenses/tango-icon-theme" << "Tango";
        QTest::newRow("own") << ":/licenses/own-icons" << "Varnex";
    }
    void licencesTravelWithTheIcons()
    {
        QFETCH(QString, path);
        QFETCH(QString, mark);
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(f.readAll());
        QVERIFY(text.contains(mark, Qt::CaseInsensitive));
        if (mark != "Varnex")
            QVERIFY(text.contains("Copyright", Qt::CaseInsensitive));
    }
};

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
