// The engine through its interface, as the runtime drives it: training of
// standard scheme 0 (one handwriting input, 480 features) for a 20-byte key
// on 12 own and 16 alien samples, in the client's full order of calls (clear,
// container, sets, train, tests, parameters with the size retry, protection,
// test), and extraction of the key from one live sample out of the trained
// container (clear, container, sample, emulate). The baseline is a plain
// dot-product loop with the multiply-adds of one emulated sample.

#include "Ratio.h"

#include <cstdio>

#include <QtGlobal>

#include "bc/BcUlvar.h"
#include "UlvarRig.h"

namespace {

void silence(QtMsgType, const QMessageLogContext&, const QString&) {}

struct Setup {
    Setup() : synth(2024), person(synth, rig::Handwriting)
    {
        qInstallMessageHandler(silence);
        rig::oneInput(scheme);
        rig::biometricContainer(nbc, scheme, rig::KeyBits, 0);
        container = rig::prefixed(nbc);
        key = synth.key();
        code = rig::codeMatrix(key);
        inputs = Nb::SlotIds(scheme, Nb::StIn, 255);
        Bc::BcUlvar* u = component();
        rig::Client client(u);
        trained = rig::prefixed(train(client));
        u->release();
    }
    static Bc::BcUlvar* component()
    {
        Bc::BcUlvar* u = new Bc::BcUlvar();
        void* out = nullptr;
        u->queryInterface(&IID_nbIUlvar, &out);
        return u;
    }
    QByteArray train(rig::Client& client)
    {
        return client.train(container, inputs, scheme, {person.own.get()}, {person.alien.get()}, *code);
    }

    rig::Synth synth;
    rig::Person person;
    Nb::Scheme scheme;
    Nb::Container nbc;
    QByteArray container;
    QByteArray key;
    rig::MatrixPtr code;
    Nb::SlotIds inputs;
    QByteArray trained;
};

Setup& setup()
{
    static Setup s;
    return s;
}

void BM_TrainStandardScheme(benchmark::State& state)
{
    Setup& s = setup();
    Bc::BcUlvar* u = Setup::component();
    rig::Client client(u);
    for (auto _ : state) {
        const QByteArray params = s.train(client);
        if (params.isEmpty())
            state.SkipWithError("training failed");
        benchmark::DoNotOptimize(params.constData());
    }
    u->release();
}

void BM_ExtractKey(benchmark::State& state)
{
    Setup& s = setup();
    Bc::BcUlvar* u = Setup::component();
    rig::Client client(u);
    for (auto _ : state) {
        const QByteArray key = client.extract(s.trained, s.inputs, {s.person.live.get()});
        if (key != s.key)
            state.SkipWithError("wrong key");
        benchmark::DoNotOptimize(key.constData());
    }
    u->release();
}

constexpr int64_t Macs = int64_t(rig::KeyBits) * 32;

void BM_DotProduct(benchmark::State& state)
{
    bench::dotProduct(state, Macs);
}

BENCHMARK(BM_TrainStandardScheme)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExtractKey)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DotProduct)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    return bench::runWithRatios(argc, argv,
                                {{"BM_TrainStandardScheme", "BM_DotProduct"}, {"BM_ExtractKey", "BM_DotProduct"}});
}
