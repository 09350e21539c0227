#include "quorvel/interface/TrainWizard.h"
#include "ui_TrainWizard.h"

#include <QDebug>
#include <QFileDialog>

#include <cmath>

#include "nb-cpp/Exception.h"
#include "quorvel/interface/SchemeTable.h"
#include "quorvel/interface/TestDialog.h"
#include "quorvel/interface/WizardTools.h"
#include "qtnb/Wipe.h"

namespace {
const char* const SampleIcon = ":/res/48px-Mypaint-icon.svg.png";
} // namespace

TrainWizard::TrainWizard(const QByteArray& key, QByteArray& container, QWidget* parent)
    : QWizard(parent), ui(new Ui::TrainWizard), containerBytes(container), code(key)
{
    ui->setupUi(this);
    setWizardButtonTexts(this);
    ui->progressImages->setMaximum(RequiredSamples);
    ui->progressQuality->setMaximum(100);
    // The third figure's label is wider than the box: wrapped, its number
    // stays in sight instead of being cut off.
    ui->txtQuality->setWordWrap(true);
    // Connected once, and queued: a handler may release the module, which
    // must not happen inside the module's own event callback.
    connect(&provider, &Provider::signalImageReady, this, &TrainWizard::clickedAddImage, Qt::QueuedConnection);
    connect(&provider, &Provider::signalImageCancel, this, &TrainWizard::clickedClearImage, Qt::QueuedConnection);
    guarded([this] {
        if (ui->listSchemes_2->count() > 0)
            ui->listSchemes_2->setCurrentRow(0);
        keyToCode(code, codeMatrix);
        dispatcher.scan(Dispatcher::modulesPath());
        centreOnScreen(this);
    });
    savedSize = QSize(0, 0);
}

TrainWizard::~TrainWizard()
{
    delete ui;
    ui = nullptr;
    freeInputs();
    Nb::wipe(codeMatrix);
    qDebug() << "TrainWizard::~TrainWizard()";
}

int TrainWizard::exec() { return runModal(this); }

void TrainWizard::paintEvent(QPaintEvent* event)
{
    QWizard::paintEvent(event);
    fitSchemeTable(ui->scheme);
    fitSchemeTable(ui->scheme_2);
}

void TrainWizard::createInputs()
{
    appendNew(sequence.count(), images, ownParams, alienParams, templates);
}

void TrainWizard::freeInputs()
{
    // The capture stops before the set it writes into goes.
    releaseProvider(provider);
    deleteAll(ownParams, alienParams, templates);
    for (BimBase* set : images)
        set->clear();
    deleteAll(images);
}

void TrainWizard::appendImageRow()
{
    QListWidgetItem* item = new QListWidgetItem(QIcon(QLatin1String(SampleIcon)), QString(), ui->listImages);
    // Selected, not made current: a current row means the user is looking
    // at a stored sample.
    ui->listImages->clearSelection();
    item->setSelected(true);
    ui->listImages->scrollToItem(item);
    ui->progressImages->setValue(qMin(ui->progressImages->value() + 1, RequiredSamples));
}

void TrainWizard::updateImageList()
{
    ui->listImages->clear();
    ui->progressImages->setValue(0);
    if (BimBase* set = images.value(sequence.step()))
        for (int i = 0; i < set->count(); ++i)
            appendImageRow();
    button(QWizard::NextButton)->setEnabled(ui->listImages->count() >= RequiredSamples);
}

void TrainWizard::changedSchemes()
{
    const int number = ui->listSchemes_2->currentRow();
    if (number < 0)
        return;
    guarded([&] {
        nbc.clear();
        nbc.setCodeLength(8 * code.size());
        nbc.setStandardScheme(number);
        freeInputs();
        sequence.clear();
        sequence.build(nbc);
        createInputs();
        buildSchemeTable(number, ui->scheme);
        buildSchemeTable(number, ui->scheme_2);
        markCurrentInput(0, 2, ui->scheme_2);
        button(QWizard::NextButton)->setEnabled(true);
    });
}

void TrainWizard::changedPage()
{
    runPageHandler(this, {&TrainWizard::changedPage0, &TrainWizard::changedPage1, &TrainWizard::changedPage2});
}

void TrainWizard::changedPage0()
{
    if (savedSize.width() != 0)
        resize(savedSize);
    button(QWizard::CancelButton)->setEnabled(true);
    // Back on page 1 of a later input shows the input before it.
    if (sequence.prev())
        next();
}

void TrainWizard::changedPage1()
{
    const bool ok = guarded([this] {
        nbc.setName(ui->_txtContainerName->text());
        button(QWizard::CancelButton)->setEnabled(true);
        ui->btnAccept->setFocus();
        showCurrentInput(sequence, ui->scheme_2);
        updateImageList();
        qDebug() << "input" << sequence.step() << "provider technology" << sequence.providerId();
        attachProvider(dispatcher, sequence, provider, ui->widget);
        refreshWindow(this);
        savedSize = size();
        ui->btnAccept->setDefault(true);
        provider.startCapture(images.value(sequence.step()));
        captureArmed = true;
    });
    if (!ok)
        back();
}

void TrainWizard::changedPage2()
{
    if (savedSize.width() != 0)
        resize(savedSize);
    // Page 1 again for every further input; training after the last one.
    if (sequence.next()) {
        back();
        return;
    }
    train();
}

void TrainWizard::clickedAddImage()
{
    if (!captureArmed || currentId() != 1)
        return;
    guarded([this] {
        if (!provider.capture(false))
            return;
        appendImageRow();
        if (ui->listImages->count() >= RequiredSamples)
            button(QWizard::NextButton)->setEnabled(true);
    });
}

void TrainWizard::clickedClearImage()
{
    guarded([this] {
        if (captureArmed)
            provider.restartCapture();
        else
            provider.recapture();
        captureArmed = true;
    });
}

void TrainWizard::clickedDeleteImage()
{
    guarded([this] {
        provider.recapture();
        const int row = ui->listImages->currentRow();
        if (BimBase* set = images.value(sequence.step()); set && row >= 0)
            set->remove(row);
        updateImageList();
        captureArmed = true;
    });
}

void TrainWizard::clickedDeleteAllImages()
{
    guarded([this] {
        provider.recapture();
        if (BimBase* set = images.value(sequence.step()))
            set->clear();
        ui->listImages->clear();
        ui->progressImages->setValue(0);
        button(QWizard::NextButton)->setEnabled(false);
        captureArmed = true;
    });
}

void TrainWizard::changedImage()
{
    const int row = ui->listImages->currentRow();
    BimBase* set = images.value(sequence.step());
    if (row >= 0 && set && set->count() > 0)
        guarded([&] { provider.viewImage(row); });
    captureArmed = false;
}

void TrainWizard::clickedLoadBims()
{
    ui->widget->setEnabled(false);
    const QString path = QFileDialog::getOpenFileName(this, tr("Выберите файл с базой биометрических образов"),
                                                      QString(), tr("Биометрические образы (*.bim)"));
    ui->widget->setEnabled(true);
    BimBase* set = images.value(sequence.step());
    if (path.isEmpty() || !set)
        return;
    guarded([&] { set->readFile(path, provider.imageType()); });
    // Also after a failed load: the list shows what the set now holds.
    updateImageList();
}

void TrainWizard::clickedSaveBims()
{
    ui->widget->setEnabled(false);
    const QString path = QFileDialog::getSaveFileName(this, tr("Выберите файл для сохранения биометрических образов"),
                                                      QString(), tr("Биометрические образы (*.bim)"));
    ui->widget->setEnabled(true);
    BimBase* set = images.value(sequence.step());
    if (path.isEmpty() || !set)
        return;
    guarded([&] { set->writeFile(path, set->imageType(0)); });
}

void TrainWizard::clickedTest()
{
    // The test dialog attaches the device itself; page 1 binds it anew.
    guarded([this] { provider.unload(); });
    QByteArray bytes;
    nbc.toBytes(bytes);
    TestDialog dialog(bytes, code, this);
    dialog.exec();
}

void TrainWizard::setNavigationEnabled(bool enabled)
{
    for (QWizard::WizardButton b :
         {QWizard::NextButton, QWizard::BackButton, QWizard::FinishButton, QWizard::CancelButton})
        button(b)->setEnabled(enabled);
}

// A second training run stores each input's template where the first one
// stood, so that the container holds one per input and image type.
void TrainWizard::storeTemplate(Nb::SlotId input, const Nb::Uuid& imageType, const Nb::Matrix& pattern)
{
    const int32_t i = nbc.templateIndex(input, imageType);
    if (i < 0) {
        nbc.setTemplate(input, imageType, pattern);
        return;
    }
    Nb::Block block(Nbc::BtTemplate);
    block.push(uint16_t(input)).push(imageType).push(pattern);
    nbc.setBlock(i, block);
    nbc.updateHead();
}

void TrainWizard::train()
{
    ui->label_5->setText(tr("Идёт обучение системы..."));
    ui->txtQuality->setText(tr("Пожалуйста, подождите...\r\nОбучение может занять несколько минут."));
    ui->btnTest->setEnabled(false);
    ui->progressQuality->setValue(0);
    setNavigationEnabled(false);
    repaint();
    const bool ok = guarded([this] {
        sequence.reset();
        do {
            const int i = sequence.step();
            BimBase* set = images.value(i);
            processor.unload();
            if (!dispatcher.getProcessor(sequence.processorId(), &processor, nullptr))
                throw Exception("Модуль биометрического процессора не найден!");
            if (processor.getTemplate(templates.value(i), set)) {
                processor.setTemplate(templates.value(i));
                storeTemplate(sequence.slotId(), set->imageType(0), *templates.value(i));
            }
            processor.convert(ownParams.value(i), set);
            processor.getAlienParams(alienParams.value(i));
        } while (sequence.next());
        engine.unload();
        if (!dispatcher.getUlvar(&engine, nullptr))
            throw Exception("Модуль нейросетевого преобразователя не найден!");
        // The rounds that estimate how often the owner is turned away
        // start from the container as it was before the engine trained it.
        const Nbc untrained = nbc;
        engine.train(nbc, ownParams, alienParams, &codeMatrix, &trainResult);
        // The engine's own figure measures the samples the converter
        // learnt, which it gives back by construction; live samples are
        // new to it, as the held-out ones are.
        trainResult.errorI() = engine.heldOutRejection(untrained, ownParams, alienParams, &codeMatrix);
        ui->label_5->setText(tr("Поздравляем! Система успешно обучена."));
        ui->txtQuality->setText(figuresText(trainResult));
        ui->btnTest->setEnabled(true);
        ui->progressQuality->setValue(qualityValue(trainResult));
        setNavigationEnabled(true);
        Nb::wipe(containerBytes);
        nbc.toBytes(containerBytes);
    });
    if (!ok)
        back();
}

QString TrainWizard::figuresText(TrainResult result)
{
    const auto figure = [](float f) { return QString::number(double(f), 'g', 6) + QStringLiteral("\r\n"); };
    QString text = tr("Предполагаемая вероятность ошибки первого рода: ") + figure(result.errorI());
    text += tr("Предполагаемая вероятность ошибки второго рода: ") + figure(result.errorII());
    // The engine measures this after folding the code into the converter,
    // a step whose result the container does not keep: the line says so.
    text += tr("Предполагаемая вероятность ошибки второго рода с защитой кода (защита в контейнер не записывается): ");
    if (result.errorIIProtected() == 0)
        text += tr("менее 10e-50") + QStringLiteral("\r\n");
    else
        text += figure(result.errorIIProtected());
    return text;
}

namespace {
// A figure above 100 fills the bar; one below 0, or NaN, leaves it empty.
int barValue(double q)
{
    if (q >= 100)
        return 100;
    if (!(q >= 0))
        return 0;
    return int(q);
}
} // namespace

int TrainWizard::qualityValue(TrainResult result)
{
    // Against strangers: 12.5 for every tenfold fall of the type-II
    // figure; a figure of 0 (logarithm -infinity) fills the bar.
    const int stiffness = barValue(double(-100.0f) * double(0.125f) * std::log10(double(result.errorII())));
    // For the owner: 2.5 off for every percent turned away, so that a
    // container refusing its owner 40% of the time shows an empty bar.
    const int reliability = barValue(double(100.0f - 250.0f * result.errorI()));
    return qMin(stiffness, reliability);
}
