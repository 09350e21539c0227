// The test module behind tests/common/TestModule.h: providers, processors
// and an engine wrapper for the rows a test switches on, with a journal of
// every call, queued images, injected failures and events.

#include "TestModule.h"

#include <QBuffer>
#include <QImage>
#include <QList>
#include <QMap>
#include <QPair>
#include <QQueue>
#include <QSet>

#include <stdexcept>

#include "nbi/nbModule.h"
#include "qtnb/Matrix.h"

namespace {

struct RowInfo {
    Nb::Uuid classId;
    Nb::Uuid iid;
    Nb::Uuid technology;
    int features;
};

const RowInfo& rowInfo(int row)
{
    static const RowInfo rows[8] = {
        {},
        {CLSID_HandwritingProvider, IID_nbIProvider, TECH_Handwriting, TestModule::HandwritingFeatures},
        {CLSID_HandwritingProcessor, IID_nbIProcessor, TECH_Handwriting, TestModule::HandwritingFeatures},
        {CLSID_HandwritingProvider2, IID_nbIProvider, TECH_Handwriting, TestModule::HandwritingFeatures},
        {CLSID_HandwritingProcessor2, IID_nbIProcessor, TECH_Handwriting, TestModule::HandwritingFeatures},
        {CLSID_FingerprintProvider, IID_nbIProvider, TECH_Fingerprint, TestModule::FingerprintFeatures},
        {CLSID_FingerprintProcessor, IID_nbIProcessor, TECH_Fingerprint, TestModule::FingerprintFeatures},
        {CLSID_Ulvar, IID_nbIUlvar, IID_nbIUlvar, 0},
    };
    return rows[row];
}

constexpr int Rows = 8;

int32_t lengthOf(const uint8_t* buffer)
{
    int32_t n = 0;
    std::memcpy(&n, buffer - 4, 4);
    return n;
}

void setLength(uint8_t* buffer, int32_t n) { std::memcpy(buffer - 4, &n, 4); }

class Control;
Control& control();

class Sinks {
public:
    virtual nbIEventHandler* sink() const = 0;
    virtual int row() const = 0;

protected:
    ~Sinks() = default;
};

class Control final : public TestModule {
public:
    void reset() override
    {
        for (int r = 0; r < Rows; ++r) {
            m_enabled[r] = false;
            m_images[r].clear();
            m_picture[r].clear();
            m_template[r] = -1;
        }
        m_failures.clear();
        m_during.clear();
        m_log.clear();
        m_garble = false;
        m_askLength = 0;
        m_figures.clear();
    }
    void enable(int row, bool on) override { m_enabled[row] = on; }
    void fail(int row, const QString& op, uint32_t code, int times) override
    {
        m_failures[{row, op}] = {code, times};
    }
    void fireDuring(int row, const QString& op, uint32_t code) override { m_during[{row, op}] = code; }
    int fireEvent(int row, uint32_t code) override
    {
        int called = 0;
        for (Sinks* p : QList<Sinks*>(m_providers))
            if (p->row() == row && p->sink()) {
                p->sink()->onEvent(code);
                ++called;
            }
        return called;
    }
    void queueImage(int row, const QByteArray& bytes) override { m_images[row].enqueue(bytes); }
    void setPicture(int row, const QByteArray& bytes) override { m_picture[row] = bytes; }
    void garbleParams(bool on) override { m_garble = on; }
    void askParamsLength(int32_t length) override { m_askLength = length; }
    void queueFigure(int mode, float value) override { m_figures[mode].enqueue(value); }
    QStringList journal(int row) const override
    {
        QStringList names;
        for (const auto& e : m_log)
            if (e.first == row)
                names << e.second;
        return names;
    }
    void clearJournal() override { m_log.clear(); }
    int liveObjects(int row) const override { return m_objects[row]; }
    int liveBuffers(int row) const override { return m_buffers[row].size(); }
    int templateColumns(int row) const override { return m_template[row]; }

    // Journals the call, raises a queued event and tells whether an
    // injected failure answers it instead.
    bool enter(int row, const QString& entry, uint32_t& rc)
    {
        m_log.append({row, entry});
        const QString op = entry.left(entry.indexOf(QLatin1Char('(')));
        for (const QString& key : {entry, op}) {
            auto event = m_during.find({row, key});
            if (event != m_during.end()) {
                const uint32_t code = event.value();
                m_during.erase(event);
                fireEvent(row, code);
                break;
            }
        }
        for (const QString& key : {entry, op}) {
            auto failure = m_failures.find({row, key});
            if (failure == m_failures.end())
                continue;
            rc = failure->first;
            if (failure->second > 0 && --failure->second == 0)
                m_failures.erase(failure);
            if (rc == Throws)
                throw std::runtime_error("the test module threw");
            return true;
        }
        return false;
    }

    bool isEnabled(int row) const { return m_enabled[row]; }
    bool garble() const { return m_garble; }
    int32_t askLength() const { return m_askLength; }
    // The figure queued for a test mode, taken from the queue.
    bool takeFigure(int mode, float& value)
    {
        QQueue<float>& queue = m_figures[mode];
        if (queue.isEmpty())
            return false;
        value = queue.dequeue();
        return true;
    }
    QQueue<QByteArray>& images(int row) { return m_images[row]; }
    QByteArray picture(int row)
    {
        if (m_picture[row].isEmpty()) {
            QImage image(48, 32, QImage::Format_RGB32);
            image.fill(Qt::darkBlue);
            QBuffer buffer(&m_picture[row]);
            buffer.open(QIODevice::WriteOnly);
            image.save(&buffer, "PNG");
        }
        return m_picture[row];
    }
    void setTemplateColumns(int row, int cols) { m_template[row] = cols; }

    void born(int row) { ++m_objects[row]; }
    void died(int row) { --m_objects[row]; }
    void addProvider(Sinks* p) { m_providers.append(p); }
    void removeProvider(Sinks* p) { m_providers.removeAll(p); }
    void handOut(int row, void* buffer) { m_buffers[row].insert(buffer); }
    bool takeBack(int row, void* buffer) { return m_buffers[row].remove(buffer); }

private:
    bool m_enabled[Rows] = {};
    QQueue<QByteArray> m_images[Rows];
    QByteArray m_picture[Rows];
    int m_template[Rows] = {-1, -1, -1, -1, -1, -1, -1, -1};
    QMap<QPair<int, QString>, QPair<uint32_t, int>> m_failures;
    QMap<QPair<int, QString>, uint32_t> m_during;
    QList<QPair<int, QString>> m_log;
    bool m_garble = false;
    int32_t m_askLength = 0;
    QMap<int, QQueue<float>> m_figures;
    int m_objects[Rows] = {};
    QSet<void*> m_buffers[Rows];
    QList<Sinks*> m_providers;
};

Control& control()
{
    static Control c;
    return c;
}

#define ENTER(entry)                                                                                             \
    do {                                                                                                         \
        uint32_t injected = 0;                                                                                   \
        if (control().enter(m_row, entry, injected))                                                             \
            return injected;                                                                                     \
    } while (0)

// Reference counting and the journal entry of the last release.
template <typename Interface>
class Object : public Interface {
public:
    explicit Object(int row) : m_row(row) { control().born(row); }
    virtual ~Object() { control().died(m_row); }
    uint32_t queryInterface(const Nb::Uuid* iid, void** out) override
    {
        if (!iid || !out)
            return nbE_POINTER;
        if (*iid != IID_nbIUnknown && *iid != rowInfo(m_row).iid)
            return nbE_NO_INTERFACE;
        *out = this;
        addRef();
        return nbS_OK;
    }
    uint32_t addRef() override { return uint32_t(++m_refs); }
    uint32_t release() override
    {
        uint32_t rc = 0;
        control().enter(m_row, QStringLiteral("release"), rc);
        if (--m_refs > 0)
            return uint32_t(m_refs);
        delete this;
        return 0;
    }

protected:
    const int m_row;
    const RowInfo& info() const { return rowInfo(m_row); }

private:
    int m_refs = 1;
};

class FakeProvider final : public Object<nbIProvider>, public Sinks {
public:
    explicit FakeProvider(int row) : Object(row) { control().addProvider(this); }
    ~FakeProvider() override { control().removeProvider(this); }
    nbIEventHandler* sink() const override { return m_sink; }
    int row() const override { return m_row; }

    uint32_t setEventHandler(nbIEventHandler* handler) override
    {
        ENTER(QStringLiteral("setEventHandler"));
        m_sink = handler;
        return nbS_OK;
    }
    uint32_t attachDevice(int32_t index) override
    {
        ENTER(QStringLiteral("attachDevice(%1)").arg(index));
        return nbS_OK;
    }
    uint32_t attachWindow(nbWindow window, uint32_t) override
    {
        ENTER(window == nbDETACH_WINDOW ? QStringLiteral("attachWindow(-1)") : QStringLiteral("attachWindow"));
        return nbS_OK;
    }
    uint32_t getImage(uint32_t kind, uint8_t* out, const uint8_t* params) override
    {
        const int32_t given = out ? lengthOf(out) : -1;
        uint32_t injected = 0;
        if (control().enter(m_row, QStringLiteral("getImage(%1)").arg(given), injected)) {
            if (out)
                setLength(out, given + 1);
            return injected;
        }
        if (kind != nbIMAGE_PICTURE || !out || !params || lengthOf(params) != 1 || params[0] != 1)
            return nbE_PARAM;
        const QByteArray picture = control().picture(m_row);
        setLength(out, picture.size());
        if (given < picture.size())
            return nbE_INSUFFICIENT_BUFFER;
        std::memcpy(out, picture.constData(), size_t(picture.size()));
        return nbS_OK;
    }
    uint32_t stopCapture() override
    {
        ENTER(QStringLiteral("stopCapture"));
        m_slot = nullptr;
        return nbS_OK;
    }
    uint32_t viewImage(const uint8_t* image, uint8_t) override
    {
        ENTER(QStringLiteral("viewImage"));
        return image ? nbS_OK : nbE_POINTER;
    }
    uint32_t reserved9() override
    {
        ENTER(QStringLiteral("reserved9"));
        return nbE_UNSUPPORTED_FUNCTION;
    }
    uint32_t startCapture(uint8_t** slot, const Nb::Uuid* imageType, uint8_t) override
    {
        ENTER(QStringLiteral("startCapture"));
        if (!slot || !imageType || *imageType != info().technology)
            return nbE_PARAM;
        m_slot = slot;
        return nbS_OK;
    }
    uint32_t waitForBimReady(uint8_t** slot, uint32_t) override
    {
        ENTER(QStringLiteral("waitForBimReady"));
        if (!slot)
            return nbE_POINTER;
        QQueue<QByteArray>& queue = control().images(m_row);
        if (queue.isEmpty())
            return nbE_TIMEOUT_EXPIRED;
        const QByteArray bytes = queue.dequeue();
        const int32_t n = bytes.size();
        uint8_t* image = new uint8_t[size_t(n) + 20];
        std::memcpy(image, &n, 4);
        std::memcpy(image + 4, info().technology.data(), 16);
        std::memcpy(image + 20, bytes.constData(), size_t(n));
        control().handOut(m_row, image);
        *slot = image;
        return nbS_OK;
    }
    uint32_t freeBim(uint8_t* image) override
    {
        ENTER(QStringLiteral("freeBim"));
        if (!control().takeBack(m_row, image))
            return nbE_POINTER;
        delete[] image;
        return nbS_OK;
    }

private:
    nbIEventHandler* m_sink = nullptr;
    uint8_t** m_slot = nullptr;
};

class FakeProcessor final : public Object<nbIProcessor> {
public:
    using Object::Object;

    uint32_t reserved3() override
    {
        ENTER(QStringLiteral("reserved3"));
        return nbE_UNSUPPORTED_FUNCTION;
    }
    uint32_t convert(Nb::Matrix** params, uint8_t* const* images, uint32_t count, Nb::Matrix** extra) override
    {
        ENTER(QStringLiteral("convert"));
        if (!params || !extra || !vectors(images, count))
            return nbE_PARAM;
        *params = hand(matrixOf(images, count));
        *extra = hand(new Nb::Matrix());
        return nbS_OK;
    }
    uint32_t getTemplate(Nb::Matrix** first, Nb::Matrix** templ, uint8_t* const* images, uint32_t count) override
    {
        ENTER(QStringLiteral("getTemplate"));
        if (!first || !templ || (count > 0 && !vectors(images, count)))
            return nbE_PARAM;
        *first = hand(new Nb::Matrix());
        *templ = count > 0 ? hand(meanOf(images, count)) : nullptr;
        return nbS_OK;
    }
    uint32_t setTemplate(const Nb::Matrix* templ, const Nb::Uuid* imageType) override
    {
        ENTER(QStringLiteral("setTemplate"));
        if (!imageType || *imageType != info().technology)
            return nbE_PARAM;
        control().setTemplateColumns(m_row, templ ? templ->cols() : -1);
        return nbS_OK;
    }
    uint32_t reserved7() override
    {
        ENTER(QStringLiteral("reserved7"));
        return nbE_UNSUPPORTED_FUNCTION;
    }
    uint32_t getAlienParams(Nb::Matrix** out, int32_t count, const Nb::Uuid* imageType, uint32_t) override
    {
        ENTER(QStringLiteral("getAlienParams"));
        if (!out || !imageType || *imageType != info().technology)
            return nbE_PARAM;
        const int32_t n = count < 0 ? ForeignVectors : std::min<int32_t>(count, ForeignVectors);
        auto* m = new Nb::Matrix(n, meta());
        for (int32_t c = 0; c < n; ++c) {
            const QVector<float> v = foreignVector(info().features, c);
            std::memcpy(m->at(0, c), v.constData(), size_t(v.size()) * sizeof(float));
        }
        *out = hand(m);
        return nbS_OK;
    }
    uint32_t freeBuffer(void* buffer) override
    {
        ENTER(QStringLiteral("freeBuffer"));
        if (!buffer)
            return nbS_OK;
        if (!control().takeBack(m_row, buffer))
            return nbE_POINTER;
        delete static_cast<Nb::Matrix*>(buffer);
        return nbS_OK;
    }

private:
    static constexpr int ForeignVectors = TestModule::ForeignVectors;

    Nb::Meta meta() const { return Nb::Meta(info().features, Nb::MfR32, Nb::MtC); }
    Nb::Matrix* hand(Nb::Matrix* m)
    {
        control().handOut(m_row, m);
        return m;
    }
    // Every image is a vector of this row's technology and length.
    bool vectors(uint8_t* const* images, uint32_t count) const
    {
        if (!images || count == 0)
            return false;
        for (uint32_t i = 0; i < count; ++i) {
            if (!images[i] || lengthOf(images[i] + 4) != info().features * int32_t(sizeof(float)) ||
                std::memcmp(images[i] + 4, info().technology.data(), 16) != 0)
                return false;
        }
        return true;
    }
    Nb::Matrix* matrixOf(uint8_t* const* images, uint32_t count) const
    {
        auto* m = new Nb::Matrix(int32_t(count), meta());
        for (uint32_t i = 0; i < count; ++i)
            std::memcpy(m->at(0, int32_t(i)), images[i] + 20, size_t(info().features) * sizeof(float));
        return m;
    }
    Nb::Matrix* meanOf(uint8_t* const* images, uint32_t count) const
    {
        auto* m = new Nb::Matrix(1, meta());
        float* mean = reinterpret_cast<float*>(m->at(0, 0));
        for (int f = 0; f < info().features; ++f) {
            float sum = 0;
            for (uint32_t i = 0; i < count; ++i) {
                float v;
                std::memcpy(&v, images[i] + 20 + f * int(sizeof(float)), sizeof(float));
                sum += v;
            }
            mean[f] = sum / float(count);
        }
        return m;
    }
};

// The real engine beside the test module, every call journalled first.
class EngineWrapper final : public Object<nbIUlvar> {
public:
    EngineWrapper(nbIUlvar* engine) : Object(TestModule::Engine), m_engine(engine) {}
    ~EngineWrapper() override { m_engine->release(); }

    uint32_t reserved3() override
    {
        ENTER(QStringLiteral("reserved3"));
        return m_engine->reserved3();
    }
    uint32_t setScheme(const char* buffer) override
    {
        ENTER(QStringLiteral("setScheme"));
        return m_engine->setScheme(buffer);
    }
    uint32_t reserved5() override
    {
        ENTER(QStringLiteral("reserved5"));
        return m_engine->reserved5();
    }
    uint32_t getSlot(uint16_t id, char* buffer) override
    {
        ENTER(QStringLiteral("getSlot"));
        return m_engine->getSlot(id, buffer);
    }
    uint32_t setConstraint(uint16_t id, Nb::ConstraintType ct, const Nb::Matrix* m) override
    {
        static const QMap<int, QString> names = {{Nb::CtAll, "all"}, {Nb::CtOwn, "own"}, {Nb::CtAny, "any"}};
        ENTER(QStringLiteral("setConstraint(%1)").arg(names.value(ct, QString::number(ct))));
        // The interface reads row 0: a matrix without it is refused here,
        // whatever the engine behind makes of it.
        if (m && m->rows() < 1)
            return nbE_PARAM;
        return m_engine->setConstraint(id, ct, m);
    }
    uint32_t getConstraint(uint16_t id, Nb::ConstraintType ct, Nb::Matrix* m) override
    {
        ENTER(QStringLiteral("getConstraint"));
        return m_engine->getConstraint(id, ct, m);
    }
    uint32_t emulate(const Nb::Matrix* in, Nb::Matrix* out, const uint16_t* ids) override
    {
        ENTER(QStringLiteral("emulate"));
        return m_engine->emulate(in, out, ids);
    }
    uint32_t train(const Nb::Matrix* own, const Nb::Matrix* alien, const Nb::Matrix* code, Nb::Timeout t) override
    {
        ENTER(QStringLiteral("train"));
        return m_engine->train(own, alien, code, t);
    }
    uint32_t trainSlot(uint16_t id, Nb::TrainMode mode, Nb::BlockState state, Nb::BlockFlags flags,
                       Nb::Timeout t) override
    {
        ENTER(QStringLiteral("trainSlot(%1)").arg(int(flags)));
        return m_engine->trainSlot(id, mode, state, flags, t);
    }
    uint32_t qeval(const Nb::Matrix* a, const Nb::Matrix* b, Nb::Matrix* quality) override
    {
        ENTER(QStringLiteral("qeval"));
        return m_engine->qeval(a, b, quality);
    }
    uint32_t test(Nb::TestMode mode, Nb::Matrix* out, Nb::Timeout t) override
    {
        ENTER(QStringLiteral("test(%1)").arg(int(mode)));
        const uint32_t rc = m_engine->test(mode, out, t);
        float value = 0;
        if (rc == nbS_OK && out && out->rows() > 0 && out->cols() > 0 && control().takeFigure(mode, value))
            std::memcpy(out->at(0, 0), &value, sizeof(float));
        return rc;
    }
    uint32_t clear(Nb::SchemeParts parts) override
    {
        ENTER(QStringLiteral("clear"));
        return m_engine->clear(parts);
    }
    uint32_t getParams(char* buffer, const Nb::Uuid* id) override
    {
        ENTER(QStringLiteral("getParams"));
        uint8_t* const bytes = reinterpret_cast<uint8_t*>(buffer);
        const int32_t ask = control().askLength();
        if (ask != 0 && buffer && lengthOf(bytes) != ask) {
            setLength(bytes, ask);
            return nbE_INSUFFICIENT_BUFFER;
        }
        const uint32_t rc = m_engine->getParams(buffer, id);
        if (rc == nbS_OK && control().garble())
            std::memset(buffer, 0xEE, size_t(lengthOf(bytes)));
        return rc;
    }
    uint32_t setParams(const char* buffer) override
    {
        ENTER(QStringLiteral("setParams"));
        return m_engine->setParams(buffer);
    }

private:
    nbIUlvar* m_engine;
};

nbIUlvar* realEngine()
{
#if defined(Q_OS_WIN)
    const char* const file = "/modules/ulvar.dll";
#else
    const char* const file = "/modules/libulvar.so";
#endif
    QLibrary library(QCoreApplication::applicationDirPath() + QLatin1String(file));
    auto query = reinterpret_cast<NbQueryComponentFn>(library.resolve("NbQueryComponent"));
    void* out = nullptr;
    return query && query(&CLSID_Ulvar, &IID_nbIUlvar, &out) == nbS_OK ? static_cast<nbIUlvar*>(out) : nullptr;
}

} // namespace

extern "C" {

NB_MODULE_EXPORT uint32_t NbQueryComponent(const Nb::Uuid* classId, const Nb::Uuid* iid, void** out)
{
    if (!classId || !iid || !out)
        return nbE_POINTER;
    int row = 1;
    while (row < Rows && !(control().isEnabled(row) && rowInfo(row).classId == *classId))
        ++row;
    if (row == Rows)
        return nbE_NO_COMPONENT;
    uint32_t injected = 0;
    if (control().enter(row, QStringLiteral("query"), injected))
        return injected;
    if (*iid != rowInfo(row).iid)
        return nbE_NO_INTERFACE;
    if (rowInfo(row).iid == IID_nbIProvider) {
        *out = static_cast<nbIProvider*>(new FakeProvider(row));
    } else if (rowInfo(row).iid == IID_nbIProcessor) {
        *out = static_cast<nbIProcessor*>(new FakeProcessor(row));
    } else {
        nbIUlvar* engine = realEngine();
        if (!engine)
            return nbE_NO_MODULE;
        *out = static_cast<nbIUlvar*>(new EngineWrapper(engine));
    }
    return nbS_OK;
}

NB_MODULE_EXPORT TestModule* NbTestModuleControl()
{
    return &control();
}
}
