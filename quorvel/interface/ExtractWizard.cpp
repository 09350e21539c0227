#include "quorvel/interface/ExtractWizard.h"
#include "ui_ExtractWizard.h"

#include <QDebug>

#include "nb-cpp/Exception.h"
#include "quorvel/interface/SchemeTable.h"
#include "quorvel/interface/SelectDialog.h"
#include "quorvel/interface/WizardTools.h"

ExtractWizard::ExtractWizard(const QByteArray& container, QByteArray& key, QWidget* parent)
    : QWizard(parent), m_container(container), m_key(key), ui(new Ui::ExtractWizard)
{
    ui->setupUi(this);
    setButtonText(QWizard::BackButton, tr("< Назад"));
    setButtonText(QWizard::NextButton, tr("Далее >"));
    setButtonText(QWizard::FinishButton, tr("Готово"));
    setButtonText(QWizard::CancelButton, tr("Отмена"));
    setButtonText(QWizard::HelpButton, tr("Справка"));
    // Queued: the handlers release and rebind the module, which must not
    // happen inside the module's own event callback.
    connect(&m_provider, &Provider::signalImageReady, this, &ExtractWizard::clickedAddImage, Qt::QueuedConnection);
    connect(&m_provider, &Provider::signalImageCancel, this, &ExtractWizard::clickedClearImage,
            Qt::QueuedConnection);
    m_broken = !guarded([this] {
        const bool read = m_nbc.fromBytes(m_container);
        m_sequence.build(m_nbc);
        const int32_t bits = m_nbc.codeLength();
        if (!read || m_sequence.count() == 0 || bits < Nbc::MinCodeLength || bits > Nbc::MaxCodeLength)
            throw Exception("Неверный формат контейнера");
        m_code.create(Nb::Meta(bits, Nb::MfI1, Nb::MtDO));
        m_code.resize(1);
        m_dispatcher.scan(Dispatcher::modulesPath());
        buildSchemeTable(m_nbc.schemeNumber(), ui->_tblScheme);
        markCurrentInput(0, 2, ui->_tblScheme);
        centreOnScreen(this);
        createBuffers();
    });
}

ExtractWizard::~ExtractWizard()
{
    // The capture stops before the sets it writes into go.
    try {
        m_provider.unload();
    } catch (...) {
    }
    delete ui;
    freeBuffers();
    wipe(m_code);
    qDebug() << "ExtractWizard::~ExtractWizard()";
}

int ExtractWizard::exec()
{
    if (m_broken) {
        setResult(QDialog::Rejected);
        return QDialog::Rejected;
    }
    return runModal(this);
}

void ExtractWizard::paintEvent(QPaintEvent* event)
{
    QWidget::paintEvent(event);
    fitSchemeTable(ui->_tblScheme);
}

void ExtractWizard::createBuffers()
{
    for (int i = 0; i < m_sequence.count(); ++i) {
        m_images.append(new BimBase);
        m_params.append(new Nb::Matrix);
    }
    m_buffersReady = true;
}

void ExtractWizard::freeBuffers()
{
    qDeleteAll(m_images);
    m_images.clear();
    qDeleteAll(m_params);
    m_params.clear();
    m_buffersReady = false;
}

void ExtractWizard::changedPage()
{
    switch (currentId()) {
    case 0:
        changedPage0();
        break;
    case 1:
        changedPage1();
        break;
    default:
        break;
    }
}

void ExtractWizard::changedPage0()
{
    // The wizard moves on by itself once a sample is taken.
    button(QWizard::NextButton)->hide();
    const bool ok = guarded([this] {
        chooseInputVariant(this, m_dispatcher, m_sequence);
        clearCurrentInput(ui->_tblScheme);
        markCurrentInput(m_sequence.step(), 2, ui->_tblScheme);
        m_provider.unload();
        if (!m_dispatcher.getProvider(m_sequence.providerId(), &m_provider, nullptr))
            throw Exception("Модуль биометрического провайдера не найден!");
        m_provider.attachDevice(0);
        delete ui->widget->layout();
        m_provider.attachWindow(ui->widget);
        ui->_btnAdd->setDefault(true);
        refreshWindow(this);
        m_provider.startCapture(m_images.value(m_sequence.step()));
    });
    if (!ok) {
        // Queued: this may run while exec() is still showing the wizard,
        // before its event loop could notice a close.
        QMetaObject::invokeMethod(this, "reject", Qt::QueuedConnection);
    }
}

void ExtractWizard::clickedAddImage()
{
    if (currentId() != 0)
        return;
    guarded([this] {
        if (!m_provider.capture(false))
            return;
        if (m_sequence.skipGroup())
            changedPage();
        else
            next();
    });
}

void ExtractWizard::clickedClearImage()
{
    if (currentId() != 0)
        return;
    guarded([this] { m_provider.restartCapture(); });
}

void ExtractWizard::changedPage1()
{
    button(QWizard::FinishButton)->hide();
    const bool ok = guarded([this] {
        // The capture is over: nothing may write into the sets any more.
        m_provider.unload();
        m_sequence.reset();
        do {
            const int i = m_sequence.step();
            BimBase* images = m_images.value(i);
            if (!images || images->count() == 0)
                continue; // an alternative not taken keeps an empty matrix
            m_processor.unload();
            if (!m_dispatcher.getProcessor(m_sequence.processorId(), &m_processor, nullptr))
                throw Exception("Модуль процессора не найден!");
            Nb::Matrix pattern;
            if (m_nbc.getTemplate(m_sequence.slotId(), images->imageType(0), pattern)) {
                qDebug().nospace() << "set pattern " << pattern;
                m_processor.setTemplate(&pattern);
            }
            m_processor.convert(m_params.value(i), images);
        } while (m_sequence.next());
        m_sequence.reset();
        m_engine.unload();
        if (!m_dispatcher.getUlvar(&m_engine, nullptr))
            throw Exception("Модуль нейросетевого преобразователя не найден!");
        m_engine.extract(m_nbc, m_code, m_params);
        m_engine.unload();
        freeBuffers();
        wipe(m_key);
        m_key = codeToKey(m_code, m_nbc.codeLength());
        wipe(m_code);
    });
    if (ok) {
        accept();
    } else {
        // The next attempt starts from fresh samples, not from these plus
        // the new ones.
        freeBuffers();
        createBuffers();
        m_sequence.reset();
        back();
    }
}
