#include "varnex/model/DynLibUlvar.h"
#include "qtnb/Wipe.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QTextCodec>

#include <climits>

DynLibUlvar::DynLibUlvar()
    : QLibrary(nullptr), trainFunc(nullptr), extractFunc(nullptr), freeFunc(nullptr), loaded(false)
{
}

DynLibUlvar::~DynLibUlvar() = default;

bool DynLibUlvar::load(QString name)
{
    loaded = false;
    // Never from whatever the current directory holds.
    if (QDir::isRelativePath(name))
        name = QDir::cleanPath(QCoreApplication::applicationDirPath() + QLatin1Char('/') + name);
    QLibrary lib(name, nullptr);
    if (!lib.load()) {
        qDebug().noquote() << "library load error: " + lib.errorString();
        return false;
    }
    qDebug() << "library loaded";
    trainFunc = reinterpret_cast<TrainFunc>(lib.resolve("nb_train"));
    extractFunc = reinterpret_cast<ExtractFunc>(lib.resolve("nb_extract"));
    freeFunc = reinterpret_cast<FreeFunc>(lib.resolve("nb_free"));
    if (!trainFunc || !extractFunc || !freeFunc) {
        qDebug() << "cannot resolve symbol 'train,extract,free'";
        return false;
    }
    loaded = true;
    return true;
}

// Copies the input into a buffer of its own, calls the export and takes
// the returned bytes over; the output is replaced only on success. Every
// buffer on the way may hold a store key: each is wiped before it goes.
uint32_t DynLibUlvar::call(TrainFunc fn, const QByteArray& input, QByteArray& output, QWidget* parent)
{
    if (!loaded || !fn)
        return BadBuffer; // an unbound library is never called
    const Nb::SecretBytes copy(input);
    uint8_t* result = nullptr;
    uint32_t resultLen = 0;
    uint32_t rc = fn(reinterpret_cast<const uint8_t*>(copy.constData()), uint32_t(copy.size()), &result, &resultLen,
                     parent);
    if (rc == 0) {
        if ((!result && resultLen != 0) || resultLen > uint32_t(INT_MAX)) {
            qDebug() << "DynLibUlvar: library returned no usable buffer, length" << resultLen;
            rc = BadBuffer;
        } else {
            QByteArray taken(reinterpret_cast<const char*>(result), int(resultLen));
            Nb::wipe(output);
            output.swap(taken);
        }
        if (result) {
            if (rc == 0)
                Nb::wipe(result, resultLen);
            freeFunc(result);
        }
    }
    restoreCodec();
    return rc;
}

uint32_t DynLibUlvar::train(const QByteArray& key, QByteArray& nbc, QWidget* parent)
{
    nbc.clear();
    qDebug() << "DynLibUlvar::train" << "key length:" << key.size();
    return call(trainFunc, key, nbc, parent);
}

uint32_t DynLibUlvar::extract(const QByteArray& nbc, QByteArray& key, QWidget* parent)
{
    return call(extractFunc, nbc, key, parent);
}

uint32_t DynLibUlvar::free(uint8_t* buffer)
{
    return freeFunc ? freeFunc(buffer) : 1;
}

void DynLibUlvar::restoreCodec()
{
    QTextCodec* codec = QTextCodec::codecForLocale();
    if (codec) {
        qDebug() << "DynLibUlvar::restoreCodec" << ('"' + codec->name() + '"').constData();
        if (codec->name() == "UTF-8")
            return;
    }
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));
}
