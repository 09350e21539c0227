// Start-up of the main window up to its unlock dialog, and unlocking a
// store of 10,000 cards up to the filled category list. Baselines: a bare
// main window with one list shown, and reading the same store with the
// key alone.

#include "Ratio.h"
#include "varnex/interface/authpswdlg.h"
#include "varnex/interface/mainwindow.h"
#include "varnex/model/repository.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <chrono>
#include <memory>

namespace {

using Clock = std::chrono::steady_clock;
const QString Password = QStringLiteral("Bench2024");

void makeStore()
{
    QDir().mkpath(QStringLiteral("data"));
    const QStringList categories{QStringLiteral("Компьютеры"), QStringLiteral("Почта"), QStringLiteral("Сайты")};
    CardMap descr;
    for (const QString& c : categories)
        descr.insert(c, FieldMap{{"name", c}, {"descr", "Описание"}, {"card", "Учётная запись"},
                                 {"icon", ":/32/oxygen/folders/site"}});
    FolderMap safe;
    for (int i = 0; i < 10000; ++i) {
        const QString name = QStringLiteral("Карточка %1").arg(i);
        FieldMap card{{"Тип карточки", "Учётная запись"}, {"Иконка", ":/32/oxygen/folders/user"},
                      {"Название карточки", name},        {"Описание карточки", QStringLiteral("описание %1").arg(i)},
                      {"URL", "https://example.com/"},    {"E-Mail", QStringLiteral("user%1@example.com").arg(i)},
                      {"Имя пользователя", "user"},       {"Пароль", QStringLiteral("Pw%1x").arg(i * 7919)}};
        safe[categories[i % categories.size()]].insert(name, card);
    }
    Repository().write(Repository::keyFromPassword(Password), descr, safe);
}

// One start of the window: the time to the unlock dialog and the time from
// the unlock click to the filled lists.
struct Start {
    double toDialog = 0;
    double toList = 0;
};

Start startOnce()
{
    Start s;
    const Clock::time_point t0 = Clock::now();
    Clock::time_point clicked;
    std::unique_ptr<MainWindow> window(new MainWindow);
    window->show();
    QListWidget* categories = window->findChild<QListWidget*>(QStringLiteral("listWidget_category"));
    QListWidget* cards = window->findChild<QListWidget*>(QStringLiteral("listWidget_card"));
    bool unlocked = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        AuthPswDlg* dlg = qobject_cast<AuthPswDlg*>(QApplication::activeModalWidget());
        if (!dlg || unlocked)
            return;
        s.toDialog = std::chrono::duration<double>(Clock::now() - t0).count();
        unlocked = true;
        dlg->findChild<QLineEdit*>(QStringLiteral("lineEdit_psw"))->setText(Password);
        clicked = Clock::now();
        dlg->findChild<QPushButton*>(QStringLiteral("pushButton_unlock"))->click();
    });
    poll.start(0);
    while (!(unlocked && categories->count() > 0 && cards->count() > 0))
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    s.toList = std::chrono::duration<double>(Clock::now() - clicked).count();
    return s;
}

void BM_StartupToUnlockDialog(benchmark::State& state)
{
    for (auto _ : state)
        state.SetIterationTime(startOnce().toDialog);
}

void BM_UnlockTenThousandCards(benchmark::State& state)
{
    for (auto _ : state)
        state.SetIterationTime(startOnce().toList);
}

void BM_Baseline_BareWindow(benchmark::State& state)
{
    for (auto _ : state) {
        const Clock::time_point t0 = Clock::now();
        {
            QMainWindow window;
            window.setCentralWidget(new QListWidget);
            window.show();
            QCoreApplication::processEvents();
        }
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - t0).count());
    }
}

void BM_Baseline_ReadStore(benchmark::State& state)
{
    const QByteArray key = Repository::keyFromPassword(Password);
    for (auto _ : state) {
        const Clock::time_point t0 = Clock::now();
        CardMap descr;
        FolderMap safe;
        benchmark::DoNotOptimize(Repository().read(key, descr, safe));
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - t0).count());
    }
}

BENCHMARK(BM_StartupToUnlockDialog)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_UnlockTenThousandCards)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_Baseline_BareWindow)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_Baseline_ReadStore)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_LOGGING_RULES", "*.debug=false");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    makeStore();
    return bench::runWithRatios(argc, argv,
                                {{"BM_StartupToUnlockDialog/iterations:10/manual_time",
                                  "BM_Baseline_BareWindow/iterations:10/manual_time"},
                                 {"BM_UnlockTenThousandCards/iterations:10/manual_time",
                                  "BM_Baseline_ReadStore/iterations:10/manual_time"}});
}
