#pragma once
// The test module: a stand-in for input-provider, processor and engine
// modules, built only for the tests into the test programs' own "modules"
// folder (beside a copy of the real engine), where Dispatcher::modulesPath()
// of a test program finds it. Every row of the technology table is off
// until a test switches it on; then the module answers NbQueryComponent for
// that row's class and interface and journals every call.
//
// Providers hand out the image bytes a test queued (the image type is the
// row's technology); the processors read an image's bytes as the float32
// parameter vector (480 values for handwriting, 256 for fingerprint) and
// hand out 64 seeded foreign vectors per technology (foreignVector below);
// the engine row wraps the real engine found beside it (and refuses a
// constraint matrix without row 0).
//
// Use: testModule() loads the module and returns its control (the same
// loaded instance the runtime binds by path); reset() in init().
//
//     TestModule* m = testModule();
//     m->reset();
//     m->enable(TestModule::HandwritingProvider);
//     m->queueImage(TestModule::HandwritingProvider, vectorBytes(v));
//     m->fail(TestModule::HandwritingProvider, "attachDevice", 0xA000003E);
//     m->fireDuring(TestModule::HandwritingProvider, "waitForBimReady", 0x103);
//     QCOMPARE(m->journal(TestModule::HandwritingProvider), QStringList{...});

#include <cstdint>
#include <cstring>
#include <random>

#include <QByteArray>
#include <QCoreApplication>
#include <QLibrary>
#include <QString>
#include <QStringList>
#include <QVector>

class TestModule {
public:
    // Rows of the technology table.
    enum Row {
        HandwritingProvider = 1,
        HandwritingProcessor = 2,
        HandwritingProvider2 = 3,
        HandwritingProcessor2 = 4,
        FingerprintProvider = 5,
        FingerprintProcessor = 6,
        Engine = 7,
    };
    static constexpr int HandwritingFeatures = 480;
    static constexpr int FingerprintFeatures = 256;
    static constexpr int ForeignVectors = 64;

    // Every row off; queues, failures, events, journal and garbling gone.
    virtual void reset() = 0;
    virtual void enable(int row, bool on = true) = 0;
    // Every row off but this one, as a test of the row starts.
    void resetTo(int row)
    {
        reset();
        enable(row);
    }

    // The next `times` calls of an operation (times < 0: every call) answer
    // code and do nothing else. op is an operation name ("attachDevice",
    // "query" for NbQueryComponent) or a journal entry ("attachDevice(-1)").
    // A failed getImage also asks for one byte more than it was given. The
    // code Throws makes the call throw std::runtime_error instead.
    static constexpr uint32_t Throws = 0xFFFFFFF0u;
    virtual void fail(int row, const QString& op, uint32_t code, int times = -1) = 0;
    // The next call of op raises the event through the row's sinks first.
    virtual void fireDuring(int row, const QString& op, uint32_t code) = 0;
    // Raises the event now through the sinks of the row's live providers;
    // the number of sinks called.
    virtual int fireEvent(int row, uint32_t code) = 0;

    // Provider rows: one queued image per waitForBimReady, in order; an
    // empty queue answers as a timeout.
    virtual void queueImage(int row, const QByteArray& bytes) = 0;
    // What getImage hands out (a small PNG unless set).
    virtual void setPicture(int row, const QByteArray& bytes) = 0;
    // Engine row: the trained container comes back as bytes that hold no
    // container; or the first getParams asks for this length.
    virtual void garbleParams(bool on) = 0;
    virtual void askParamsLength(int32_t length) = 0;
    // Engine row: the next test(mode) answers value in place of the
    // engine's figure; values queued for one mode are taken in order.
    virtual void queueFigure(int mode, float value) = 0;

    // Operation names of the row in call order. Arguments that matter to
    // the order stand in parentheses: attachDevice(0), attachDevice(-1),
    // attachWindow, attachWindow(-1), getImage(<length given>),
    // setConstraint(all|own|any), test(<mode>), trainSlot(<flags>).
    virtual QStringList journal(int row) const = 0;
    virtual void clearJournal() = 0;
    // Interface objects and buffers (images, matrices) handed out and not
    // yet given back.
    virtual int liveObjects(int row) const = 0;
    virtual int liveBuffers(int row) const = 0;
    // The last template a processor row was given (columns of row 0, or -1).
    virtual int templateColumns(int row) const = 0;

protected:
    ~TestModule() = default;
};

inline QString testModulePath()
{
#if defined(Q_OS_WIN)
    const char* const file = "nbtestmodule.dll";
#else
    const char* const file = "libnbtestmodule.so";
#endif
    return QCoreApplication::applicationDirPath() + QStringLiteral("/modules/") + QLatin1String(file);
}

// The control of the module loaded from path; null when it does not load.
inline TestModule* testModule(const QString& path = testModulePath())
{
    QLibrary library(path);
    if (!library.load())
        return nullptr;
    using Control = TestModule* (*)();
    auto control = reinterpret_cast<Control>(library.resolve("NbTestModuleControl"));
    return control ? control() : nullptr;
}

inline QByteArray vectorBytes(const QVector<float>& v)
{
    return QByteArray(reinterpret_cast<const char*>(v.constData()), v.size() * int(sizeof(float)));
}

// Synthetic people: a person is a vector in [-1, 1); a sample of them adds
// noise of the given spread.
inline QVector<float> personVector(std::mt19937& gen, int features)
{
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    QVector<float> v(features);
    for (float& x : v)
        x = unit(gen);
    return v;
}

inline QVector<float> sampleOf(std::mt19937& gen, const QVector<float>& person, float spread)
{
    std::uniform_real_distribution<float> noise(-spread, spread);
    QVector<float> v = person;
    for (float& x : v)
        x += noise(gen);
    return v;
}

// Foreign vector i of a technology, as the processors hand them out.
inline QVector<float> foreignVector(int features, int index)
{
    std::mt19937 gen(uint32_t(features) * 1000u + uint32_t(index));
    return personVector(gen, features);
}
