// The runtime's engine client against the engine module driven directly in
// the same order of calls (the engine's own benchmark): training of standard
// scheme 0 for a 20-byte key on 12 own and 16 alien samples, and extraction
// of the key from one live sample. Both load the built module by its path;
// the ratios are what the client adds (container bytes in and out, the
// container read back, the scheme copy), and what the held-out estimate of
// the owner's rejection costs in trainings.

#include "Ratio.h"

#include <QLibrary>
#include <QtGlobal>

#include "UlvarRig.h"
#include "nb-cpp/Nbc.h"
#include "nb-cpp/Ulvar.h"

#ifndef ULVAR_MODULE_PATH
#error "ULVAR_MODULE_PATH names the built engine module"
#endif

namespace {

void silence(QtMsgType, const QMessageLogContext&, const QString&) {}

struct Setup {
    Setup() : synth(2024), person(synth, rig::Handwriting)
    {
        qInstallMessageHandler(silence);
        nbc.clear();
        nbc.setCodeLength(rig::KeyBits);
        nbc.setStandardScheme(0);
        nbc.scheme(scheme);
        inputs = Nb::SlotIds(scheme, Nb::StIn, 255);
        container = rig::prefixed(nbc);
        key = synth.key();
        code = rig::codeMatrix(key);
        trained = nbc;
        Ulvar ulvar;
        load(ulvar);
        QList<Nb::Matrix*> own{person.own.get()}, alien{person.alien.get()};
        if (!ulvar.train(trained, own, alien, code.get(), nullptr))
            trained.clear();
    }
    static nbIUlvar* component()
    {
        QLibrary library(QStringLiteral(ULVAR_MODULE_PATH));
        auto query = reinterpret_cast<NbQueryComponentFn>(library.resolve("NbQueryComponent"));
        void* out = nullptr;
        return query && query(&CLSID_Ulvar, &IID_nbIUlvar, &out) == nbS_OK ? static_cast<nbIUlvar*>(out) : nullptr;
    }
    static bool load(Ulvar& ulvar)
    {
        return ulvar.load(QStringLiteral(ULVAR_MODULE_PATH), CLSID_Ulvar, TechnologyTable[TechnologyRows - 1]);
    }

    rig::Synth synth;
    rig::Person person;
    Nbc nbc;
    Nbc trained;
    Nb::Scheme scheme;
    Nb::SlotIds inputs;
    QByteArray container;
    QByteArray key;
    rig::MatrixPtr code;
};

Setup& setup()
{
    static Setup s;
    return s;
}

void BM_EngineTrain(benchmark::State& state)
{
    Setup& s = setup();
    nbIUlvar* u = Setup::component();
    rig::Client client(u);
    for (auto _ : state) {
        const QByteArray params =
            client.train(s.container, s.inputs, s.scheme, {s.person.own.get()}, {s.person.alien.get()}, *s.code);
        if (params.isEmpty())
            state.SkipWithError("training failed");
        benchmark::DoNotOptimize(params.constData());
    }
    u->release();
}

void BM_UlvarTrain(benchmark::State& state)
{
    Setup& s = setup();
    Ulvar ulvar;
    Setup::load(ulvar);
    QList<Nb::Matrix*> own{s.person.own.get()}, alien{s.person.alien.get()};
    TrainResult figures;
    for (auto _ : state) {
        Nbc nbc = s.nbc;
        if (!ulvar.train(nbc, own, alien, s.code.get(), &figures))
            state.SkipWithError("training failed");
        benchmark::DoNotOptimize(nbc.count());
    }
}

// The estimate of how often the owner is turned away: one training per own
// sample held out and one extraction with it, against one training.
void BM_UlvarHeldOut(benchmark::State& state)
{
    Setup& s = setup();
    Ulvar ulvar;
    Setup::load(ulvar);
    QList<Nb::Matrix*> own{s.person.own.get()}, alien{s.person.alien.get()};
    for (auto _ : state) {
        const float rejection = ulvar.heldOutRejection(s.nbc, own, alien, s.code.get());
        if (!(rejection >= 0))
            state.SkipWithError("no estimate");
        benchmark::DoNotOptimize(rejection);
    }
}

void BM_EngineExtract(benchmark::State& state)
{
    Setup& s = setup();
    nbIUlvar* u = Setup::component();
    rig::Client client(u);
    const QByteArray trained = rig::prefixed(s.trained);
    for (auto _ : state) {
        const QByteArray key = client.extract(trained, s.inputs, {s.person.live.get()});
        if (key != s.key)
            state.SkipWithError("wrong key");
        benchmark::DoNotOptimize(key.constData());
    }
    u->release();
}

void BM_UlvarExtract(benchmark::State& state)
{
    Setup& s = setup();
    Ulvar ulvar;
    Setup::load(ulvar);
    QList<Nb::Matrix*> params{s.person.live.get()};
    rig::MatrixPtr code = rig::emptyCode();
    for (auto _ : state) {
        if (!ulvar.extract(s.trained, *code, params) || rig::keyOf(*code) != s.key)
            state.SkipWithError("wrong key");
        benchmark::DoNotOptimize(code->at(0, 0));
    }
}

BENCHMARK(BM_EngineTrain)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UlvarTrain)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UlvarHeldOut)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EngineExtract)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UlvarExtract)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return bench::runWithRatios(argc, argv,
                                {{"BM_UlvarTrain", "BM_EngineTrain"},
                                 {"BM_UlvarHeldOut", "BM_UlvarTrain"},
                                 {"BM_UlvarExtract", "BM_EngineExtract"}});
}
