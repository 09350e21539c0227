#include "quorvel/interface/ExtractWizard.h"
#include "ui_ExtractWizard.h"

#include <QDebug>

#include "nb-cpp/Exception.h"
#include "quorvel/interface/SchemeTable.h"
#include "quorvel/interface/SelectDialog.h"
#include "quorvel/interface/WizardTools.h"
#include "qtnb/Wipe.h"

ExtractWizard::ExtractWizard(const QByteArray& container, QByteArray& key, QWidget* parent)
    : QWizard(parent), m_container(container), m_key(key), ui(new Ui::ExtractWizard)
{
    ui->setupUi(this);
    setWizardButtonTexts(this);
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
    releaseProvider(m_provider);
    delete ui;
    freeBuffers();
    Nb::wipe(m_code);
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
    appendNew(m_sequence.count(), m_images, m_params);
    m_buffersReady = true;
}

void ExtractWizard::freeBuffers()
{
    deleteAll(m_images, m_params);
    m_buffersReady = false;
}

void ExtractWizard::changedPage()
{
    runPageHandler(this, {&ExtractWizard::changedPage0, &ExtractWizard::changedPage1});
}

void ExtractWizard::changedPage0()
{
    // The wizard moves on by itself once a sample is taken.
    button(QWizard::NextButton)->hide();
    const bool ok = guarded([this] {
        chooseInputVariant(this, m_dispatcher, m_sequence);
        showCurrentInput(m_sequence, ui->_tblScheme);
        m_provider.unload();
        attachProvider(m_dispatcher, m_sequence, m_provider, ui->widget);
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
        convertSamples(m_dispatcher, m_sequence, m_nbc, m_processor, m_images, m_params, true);
        m_sequence.reset();
        extractCode(m_dispatcher, m_engine, m_nbc, m_code, m_params);
        freeBuffers();
        Nb::wipe(m_key);
        m_key = codeToKey(m_code, m_nbc.codeLength());
        Nb::wipe(m_code);
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
