// The engine as its client meets it: the module loaded by path, the component
// bound by class and interface id, trained, tested, saved, reloaded and
// asked for the key; the descriptor and the live-object count.

#include <QLibrary>
#include <QResource>
#include <QtTest>

#include "DebugCapture.h"
#include "UlvarRig.h"

#ifndef ULVAR_MODULE_PATH
#error "ULVAR_MODULE_PATH names the built module"
#endif

namespace {

class Enumerator : public nbIEnumerator {
public:
    virtual ~Enumerator() = default;
    uint32_t queryInterface(const Nb::Uuid*, void**) override { return nbE_NO_INTERFACE; }
    uint32_t addRef() override { return 1; }
    uint32_t release() override { return 0; }
    uint32_t onComponent(int32_t a, int32_t b, const Nb::Uuid* id, const char* descriptor) override
    {
        ++calls;
        first = a;
        second = b;
        classId = id ? *id : Nb::NilUuid;
        const int32_t n = qFromLittleEndian<int32_t>(descriptor - 4);
        text = QByteArray(descriptor, n);
        return 0x12345;
    }
    int calls = 0;
    int32_t first = -1;
    int32_t second = -1;
    Nb::Uuid classId;
    QByteArray text;
};

const char* const Descriptor =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
    "<components>\r\n"
    "  <component>\r\n"
    "    <cid>{9AC0FE89-596E-4414-9436-05122BD94D34}</cid>\r\n"
    "    <specver></specver>\r\n"
    "    <productver>1.0.0.0</productver>\r\n"
    "    <vendor>Varnex</vendor>\r\n"
    "    <descr>Нейросетевой преобразователь биометрических параметров в код ключа.</descr>\r\n"
    "    <title>Преобразователь Ulvar</title>\r\n"
    "    <location></location>\r\n"
    "    <interfaces>\r\n"
    "      <interface>\r\n"
    "        <iid>{00000000-0000-0000-00C0-000000000046}</iid>\r\n"
    "      </interface>\r\n"
    "      <interface>\r\n"
    "        <iid>{A3213E60-57B3-4643-84E4-11CAB9E81FFE}</iid>\r\n"
    "      </interface>\r\n"
    "    </interfaces>\r\n"
    "  </component>\r\n"
    "</components>\r\n";

} // namespace

class TestUlvarModule : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void exportsOnly();
    void queryComponent_data();
    void queryComponent();
    void liveObjects();
    void descriptor();
    void trainSaveReloadExtract_data();
    void trainSaveReloadExtract();

private:
    nbIUlvar* make();

    QLibrary m_lib;
    NbQueryComponentFn m_query = nullptr;
    NbEnumComponentsFn m_enum = nullptr;
    NbCanUnloadFn m_canUnload = nullptr;
};

void TestUlvarModule::initTestCase()
{
    m_lib.setFileName(QStringLiteral(ULVAR_MODULE_PATH));
    QVERIFY2(m_lib.load(), qPrintable(m_lib.errorString()));
    m_query = reinterpret_cast<NbQueryComponentFn>(m_lib.resolve("NbQueryComponent"));
    m_enum = reinterpret_cast<NbEnumComponentsFn>(m_lib.resolve("NbEnumComponents"));
    m_canUnload = reinterpret_cast<NbCanUnloadFn>(m_lib.resolve("NbCanUnload"));
    QVERIFY(m_query && m_enum && m_canUnload);
}

nbIUlvar* TestUlvarModule::make()
{
    void* out = nullptr;
    if (m_query(&CLSID_Ulvar, &IID_nbIUlvar, &out) != nbS_OK)
        return nullptr;
    return static_cast<nbIUlvar*>(out);
}

void TestUlvarModule::exportsOnly()
{
    // The engine's own classes stay inside the module.
    QVERIFY(!m_lib.resolve("_ZN2Bc7BcUlvar9liveCountE"));
    QVERIFY(!m_lib.resolve("_ZN2Bc8BcScheme7paramIdE"));
    // Nor the standard-library code compiled into it.
    QVERIFY(!m_lib.resolve("_ZNSt6vectorIfSaIfEE17_M_default_appendEm"));
}

void TestUlvarModule::queryComponent_data()
{
    QTest::addColumn<QString>("classId");
    QTest::addColumn<QString>("iid");
    QTest::addColumn<uint>("result");
    const QString cls = CLSID_Ulvar.toString();
    QTest::newRow("nbIUlvar") << cls << IID_nbIUlvar.toString() << uint(nbS_OK);
    QTest::newRow("nbIUnknown") << cls << IID_nbIUnknown.toString() << uint(nbS_OK);
    QTest::newRow("COM IUnknown") << cls << QStringLiteral("{00000000-0000-0000-C000-000000000046}")
                                  << uint(nbE_NO_INTERFACE);
    QTest::newRow("wrong class, right iid") << QStringLiteral("{9AC0FE89-596E-4414-9436-05122BD94D35}")
                                            << IID_nbIUlvar.toString() << uint(nbE_NO_COMPONENT);
    QTest::newRow("class in the first word") << QStringLiteral("{9AC0FE88-596E-4414-9436-05122BD94D34}")
                                             << IID_nbIUlvar.toString() << uint(nbE_NO_COMPONENT);
}

void TestUlvarModule::queryComponent()
{
    QFETCH(QString, classId);
    QFETCH(QString, iid);
    QFETCH(uint, result);
    const Nb::Uuid cls(classId);
    const Nb::Uuid interfaceId(iid);
    void* const untouched = reinterpret_cast<void*>(0x1234);
    void* out = untouched;
    QCOMPARE(m_query(&cls, &interfaceId, &out), uint32_t(result));
    if (result != nbS_OK) {
        QCOMPARE(out, untouched);
        QCOMPARE(m_canUnload(), 0);
        return;
    }
    QVERIFY(out && out != untouched);
    QCOMPARE(m_canUnload(), 1);
    nbIUnknown* unknown = static_cast<nbIUnknown*>(out);
    QCOMPARE(unknown->release(), 0u);
    QCOMPARE(m_canUnload(), 0);
}

void TestUlvarModule::liveObjects()
{
    QCOMPARE(m_query(nullptr, &IID_nbIUlvar, nullptr), nbE_POINTER);
    nbIUlvar* a = make();
    nbIUlvar* b = make();
    QVERIFY(a && b && a != b);
    QCOMPARE(m_canUnload(), 2);

    QCOMPARE(a->addRef(), 1u);
    QCOMPARE(a->release(), 1u);
    QCOMPARE(m_canUnload(), 2);
    QCOMPARE(a->release(), 0u);
    QCOMPARE(m_canUnload(), 1);
    QCOMPARE(b->release(), 0u);
    QCOMPARE(m_canUnload(), 0);
}

void TestUlvarModule::descriptor()
{
    QCOMPARE(m_enum(nullptr), nbE_PARAM);
    Enumerator e;
    QCOMPARE(m_enum(&e), nbS_OK);
    QCOMPARE(e.calls, 1);
    QCOMPARE(e.first, 1);
    QCOMPARE(e.second, 0);
    QCOMPARE(e.classId, CLSID_Ulvar);
    QCOMPARE(e.text, QByteArray(Descriptor));
    // The module's resource is stored as it is, not packed.
    QResource resource(QStringLiteral(":/info/ulvar"));
    QVERIFY(resource.isValid());
    QCOMPARE(resource.compressionAlgorithm(), QResource::NoCompression);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(resource.data()), int(resource.size())), e.text);
}

void TestUlvarModule::trainSaveReloadExtract_data()
{
    QTest::addColumn<int>("inputs");
    QTest::newRow("one input") << 1;
    QTest::newRow("two inputs") << 2;
}

void TestUlvarModule::trainSaveReloadExtract()
{
    QFETCH(int, inputs);
    rig::Synth synth(inputs == 1 ? 2024 : 77);
    Nb::Scheme scheme;
    if (inputs == 1)
        rig::oneInput(scheme);
    else
        rig::twoInputs(scheme);
    Nb::Container nbc;
    rig::biometricContainer(nbc, scheme, rig::KeyBits, inputs == 1 ? 0 : 2);

    std::vector<std::unique_ptr<rig::Person>> people;
    people.emplace_back(std::make_unique<rig::Person>(synth, rig::Handwriting));
    if (inputs == 2)
        people.emplace_back(std::make_unique<rig::Person>(synth, rig::Fingerprint));
    QList<Nb::Matrix*> own;
    QList<Nb::Matrix*> alien;
    QList<Nb::Matrix*> live;
    QList<Nb::Matrix*> foreign;
    for (auto& p : people) {
        own << p->own.get();
        alien << p->alien.get();
        live << p->live.get();
        foreign << p->foreign.get();
    }
    const QByteArray key = synth.key();
    const rig::MatrixPtr code = rig::codeMatrix(key);
    const Nb::SlotIds inputIds(scheme, Nb::StIn, 255);

    nbIUlvar* trainer = make();
    QVERIFY(trainer);
    // Given back on every way out, so that a failure does not count on.
    std::unique_ptr<nbIUlvar, void (*)(nbIUlvar*)> hold(trainer, [](nbIUlvar* u) { u->release(); });
    rig::Client client(trainer);
    const QByteArray trained = client.train(rig::prefixed(nbc), inputIds, scheme, own, alien, *code);
    QVERIFY2(!trained.isEmpty(), qPrintable(QStringLiteral("steps %1").arg(printed(client.steps))));
    QCOMPARE(client.steps.at(1 + 2 * inputs + 3), nbE_INSUFFICIENT_BUFFER);
    QVERIFY(client.errorI >= 0.0f && client.errorI <= 1.0f);
    QVERIFY(client.errorII >= 0.0f && client.errorII <= 1.0f);
    QVERIFY(client.errorIIProtected >= 0.0f && client.errorIIProtected <= 1.0f);
    QCOMPARE(hold.release()->release(), 0u);
    QCOMPARE(m_canUnload(), 0);

    // The trained container: the engine's run, the container's own blocks kept.
    Nb::Container params;
    {
        QDataStream s(trained);
        QCOMPARE(params.readContainer(s, -1), int32_t(trained.size()));
    }
    const auto head = dynamic_cast<const Nb::BlockContHead*>(params.at(0));
    QVERIFY(head);
    QCOMPARE(head->id(), Nb::Uuid("{30413CB1-53A7-4B62-9F01-0E430E7E3EF8}"));
    QCOMPARE(params.at(1)->type(), Nb::BtCScheme);
    QList<int> types;
    for (const Nb::Block* b : params.blocks())
        types << int(b->type());
    const QList<int> expected = inputs == 1 ? QList<int>{0, 250, 127, 136, 134, 129}
                                            : QList<int>{0, 250, 127, 127, 121, 136, 134, 134, 129};
    QCOMPARE(types, expected);

    nbIUlvar* extractor = make();
    QVERIFY(extractor);
    hold.reset(extractor);
    rig::Client user(extractor);
    const QByteArray buffer = rig::prefixed(trained);
    QCOMPARE(user.extract(buffer, inputIds, live), key);
    const QByteArray other = user.extract(buffer, inputIds, foreign);
    QCOMPARE(user.steps.last(), nbS_OK);
    QCOMPARE(other.size(), key.size());
    QVERIFY(other != key);
    // Jobs follow one another on one component.
    QCOMPARE(user.extract(buffer, inputIds, live), key);
    QCOMPARE(hold.release()->release(), 0u);
    QCOMPARE(m_canUnload(), 0);
}

QTEST_GUILESS_MAIN(TestUlvarModule)
#include "tst_ulvarmodule.moc"
