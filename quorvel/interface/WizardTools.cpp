#include "quorvel/interface/WizardTools.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDialog>
#include <QEventLoop>
#include <QGuiApplication>
#include <QLayout>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWizard>

#include "nb-cpp/BimBase.h"
#include "nb-cpp/Dispatcher.h"
#include "nb-cpp/InputSequence.h"
#include "nb-cpp/Nbc.h"
#include "nb-cpp/Processor.h"
#include "nb-cpp/Provider.h"
#include "nb-cpp/Ulvar.h"
#include "quorvel/interface/SchemeTable.h"

void keyToCode(const QByteArray& key, Nb::Matrix& code)
{
    const int32_t bits = 8 * int32_t(key.size());
    code.create(Nb::Meta(bits, Nb::MfI1, Nb::MtDO));
    code.resize(1);
    if (bits == 0)
        return;
    const Nb::Cell& cell = code.cell(0, 0);
    for (int32_t i = 0; i < bits; ++i)
        cell.setBit(uint32_t(i), (uint8_t(key[i / 8]) >> (i % 8)) & 1 ? 1 : -1);
}

QByteArray codeToKey(Nb::Matrix& code, int bits)
{
    QByteArray key(bits > 0 ? bits / 8 : 0, '\0');
    if (key.isEmpty() || code.rows() < 1 || code.cols() < 1 || code.count(0) < 8 * key.size())
        return key;
    const Nb::Cell& cell = code.cell(0, 0);
    for (int i = 0; i < 8 * key.size(); ++i)
        if (cell.sign(uint32_t(i)) > 0)
            key[i / 8] = char(uint8_t(key[i / 8]) | (1u << (i % 8)));
    return key;
}

void centreOnScreen(QWidget* window)
{
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const QRect frame = window->frameGeometry();
    window->move((area.left() + area.right()) / 2 - (frame.right() - frame.left()) / 2,
                 (area.top() + area.bottom()) / 2 - (frame.bottom() - frame.top()) / 2);
}

void refreshWindow(QWidget* window)
{
    if (!window->isVisible())
        return;
    if (QLayout* layout = window->layout())
        layout->activate();
    window->update();
}

namespace {

// Ends a modal loop when the program hides its dialog, as QDialog::exec
// does; a window that the user minimises is hidden spontaneously and goes on.
class HideWatch : public QObject {
public:
    explicit HideWatch(QEventLoop& loop) : m_loop(loop) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Hide && !event->spontaneous())
            m_loop.quit();
        return false;
    }

private:
    QEventLoop& m_loop;
};

} // namespace

int runModal(QDialog* dialog)
{
    QPointer<QDialog> alive(dialog);
    const bool wasModal = dialog->testAttribute(Qt::WA_ShowModal);
    dialog->setAttribute(Qt::WA_ShowModal, true);
    dialog->setResult(QDialog::Rejected);
    QEventLoop loop;
    QObject::connect(dialog, &QDialog::finished, &loop, &QEventLoop::quit);
    QObject::connect(dialog, &QObject::destroyed, &loop, &QEventLoop::quit);
    HideWatch watch(loop);
    dialog->installEventFilter(&watch);
    dialog->show();
    // Something that failed while the dialog was being shown may have
    // closed it already.
    if (dialog->isVisible())
        loop.exec(QEventLoop::DialogExec);
    if (!alive)
        return QDialog::Rejected;
    dialog->removeEventFilter(&watch);
    dialog->setAttribute(Qt::WA_ShowModal, wasModal);
    return dialog->result();
}

void setWizardButtonTexts(QWizard* wizard)
{
    const char* const context = wizard->metaObject()->className();
    wizard->setButtonText(QWizard::BackButton, QCoreApplication::translate(context, "< Назад"));
    wizard->setButtonText(QWizard::NextButton, QCoreApplication::translate(context, "Далее >"));
    wizard->setButtonText(QWizard::FinishButton, QCoreApplication::translate(context, "Готово"));
    wizard->setButtonText(QWizard::CancelButton, QCoreApplication::translate(context, "Отмена"));
    wizard->setButtonText(QWizard::HelpButton, QCoreApplication::translate(context, "Справка"));
}

void releaseProvider(Provider& provider) noexcept
{
    try {
        provider.unload();
    } catch (...) {
    }
}

void showCurrentInput(const InputSequence& sequence, QTableWidget* table)
{
    clearCurrentInput(table);
    markCurrentInput(sequence.step(), 2, table);
}

void attachProvider(Dispatcher& dispatcher, const InputSequence& sequence, Provider& provider, QWidget* area)
{
    if (!dispatcher.getProvider(sequence.providerId(), &provider, nullptr))
        throw Exception("Модуль биометрического провайдера не найден!");
    provider.attachDevice(0);
    delete area->layout();
    provider.attachWindow(area);
    holdView(area);
}

void holdView(QWidget* area)
{
    // Queued: the room a view asks for is known once the window is shown.
    QTimer::singleShot(0, area, [area] {
        QWidget* window = area->window();
        if (QLayout* layout = window->layout())
            layout->activate();
        const QSize lacking = (area->minimumSizeHint() - area->size()).expandedTo(QSize(0, 0));
        if (!lacking.isNull())
            window->resize(window->size() + lacking);
    });
}

void convertSamples(Dispatcher& dispatcher, InputSequence& sequence, const Nbc& nbc, Processor& processor,
                    const QList<BimBase*>& images, const QList<Nb::Matrix*>& params, bool logPattern)
{
    sequence.reset();
    do {
        const int i = sequence.step();
        BimBase* set = images.value(i);
        if (!set || set->count() == 0)
            continue;
        processor.unload();
        if (!dispatcher.getProcessor(sequence.processorId(), &processor, nullptr))
            throw Exception("Модуль процессора не найден!");
        Nb::Matrix pattern;
        if (nbc.getTemplate(sequence.slotId(), set->imageType(0), pattern)) {
            if (logPattern)
                qDebug().nospace() << "set pattern " << pattern;
            processor.setTemplate(&pattern);
        }
        processor.convert(params.value(i), set);
    } while (sequence.next());
}

void extractCode(Dispatcher& dispatcher, Ulvar& engine, Nbc& nbc, Nb::Matrix& code, QList<Nb::Matrix*>& params)
{
    engine.unload();
    if (!dispatcher.getUlvar(&engine, nullptr))
        throw Exception("Модуль нейросетевого преобразователя не найден!");
    engine.extract(nbc, code, params);
    engine.unload();
}
