// Opening and saving a store of 10,000 cards of 8 fields, each against a
// bare SHA-1 + RC4 pass over the same file bytes.
#define OPENSSL_SUPPRESS_DEPRECATED

#include "Ratio.h"
#include "varnex/model/repository.h"

#include <QCryptographicHash>
#include <QFile>
#include <QTemporaryDir>

#include <openssl/rc4.h>

namespace {

struct Store {
    QTemporaryDir dir;
    QString path;
    QByteArray key = Repository::keyFromPassword(QStringLiteral("Bench2024"));
    CardMap descr;
    FolderMap safe;
    QByteArray fileBytes;

    Store()
    {
        path = dir.filePath(QStringLiteral("Varnex2013_v1.bpk"));
        const QStringList labels{QStringLiteral("Тип карточки"), QStringLiteral("Иконка"),
                                 QStringLiteral("Название карточки"), QStringLiteral("Описание карточки"),
                                 QStringLiteral("Логин"), QStringLiteral("Пароль"),
                                 QStringLiteral("Адрес"), QStringLiteral("Примечание")};
        const int folders = 12;
        for (int f = 0; f < folders; ++f) {
            const QString category = QStringLiteral("Категория %1").arg(f);
            descr.insert(category, FieldMap{{"name", category}, {"descr", "Описание"},
                                            {"card", "Учётная запись"}, {"icon", ":/icons/web"}});
        }
        for (int c = 0; c < 10000; ++c) {
            FieldMap card;
            for (int i = 0; i < labels.size(); ++i)
                card.insert(labels[i], QStringLiteral("значение %1 поля %2 x%3").arg(c).arg(i).arg(c * 7919 % 10007));
            safe[QStringLiteral("Категория %1").arg(c % folders)].insert(QStringLiteral("Карточка %1").arg(c), card);
        }
        Repository(path).write(key, descr, safe);
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        fileBytes = file.readAll();
    }
};

Store& store()
{
    static Store s;
    return s;
}

void BM_Sha1Rc4Pass(benchmark::State& state)
{
    Store& s = store();
    QByteArray out(s.fileBytes.size(), '\0');
    for (auto _ : state) {
        QByteArray digest = QCryptographicHash::hash(s.fileBytes, QCryptographicHash::Sha1);
        RC4_KEY schedule;
        RC4_set_key(&schedule, s.key.size(), reinterpret_cast<const unsigned char*>(s.key.constData()));
        RC4(&schedule, size_t(s.fileBytes.size()), reinterpret_cast<const unsigned char*>(s.fileBytes.constData()),
            reinterpret_cast<unsigned char*>(out.data()));
        benchmark::DoNotOptimize(digest.data());
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * s.fileBytes.size());
}
BENCHMARK(BM_Sha1Rc4Pass)->Unit(benchmark::kMillisecond);

void BM_OpenStore(benchmark::State& state)
{
    Store& s = store();
    Repository repo(s.path);
    for (auto _ : state) {
        CardMap descr;
        FolderMap safe;
        bool ok = repo.read(s.key, descr, safe); // checks the key first
        if (!ok || safe.size() != s.safe.size())
            state.SkipWithError("store did not open");
        benchmark::DoNotOptimize(safe);
    }
}
BENCHMARK(BM_OpenStore)->Unit(benchmark::kMillisecond);

void BM_SaveStore(benchmark::State& state)
{
    Store& s = store();
    Repository repo(s.path);
    for (auto _ : state) {
        if (!repo.write(s.key, s.descr, s.safe))
            state.SkipWithError("store not written");
    }
}
BENCHMARK(BM_SaveStore)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QtMessageHandler quiet = [](QtMsgType, const QMessageLogContext&, const QString&) {};
    qInstallMessageHandler(quiet);
    return bench::runWithRatios(argc, argv,
                                {{"BM_OpenStore", "BM_Sha1Rc4Pass"}, {"BM_SaveStore", "BM_Sha1Rc4Pass"}});
}
