#pragma once
// Run-time binding of varnex to the three exports of the wizard library.

#include <QByteArray>
#include <QLibrary>
#include <QString>

#include <cstdint>

class QWidget;

class DynLibUlvar : public QLibrary {
public:
    typedef uint32_t (*TrainFunc)(const uint8_t*, uint32_t, uint8_t**, uint32_t*, QWidget*);
    typedef uint32_t (*ExtractFunc)(const uint8_t*, uint32_t, uint8_t**, uint32_t*, QWidget*);
    typedef uint32_t (*FreeFunc)(uint8_t*);

    // Result given when the library claims success but hands back no bytes,
    // or when the binding is not loaded.
    static constexpr uint32_t BadBuffer = 0xFFFFFFFFu;

    DynLibUlvar();
    ~DynLibUlvar() override;

    // A relative name is taken from the program's own directory.
    bool load(QString name);
    bool isLoaded() const { return loaded; }

    uint32_t train(const QByteArray& key, QByteArray& nbc, QWidget* parent);
    uint32_t extract(const QByteArray& nbc, QByteArray& key, QWidget* parent);
    uint32_t free(uint8_t* buffer);

    void restoreCodec();

private:
    uint32_t call(TrainFunc fn, const QByteArray& input, QByteArray& output, QWidget* parent);

    TrainFunc trainFunc;
    ExtractFunc extractFunc;
    FreeFunc freeFunc;
    bool loaded;
};
