#include "quorvel/interface/TestDialog.h"
#include "ui_TestDialog.h"

#include <QDebug>
#include <QHBoxLayout>

#include "nb-cpp/Exception.h"
#include "quorvel/interface/SchemeTable.h"
#include "quorvel/interface/SelectDialog.h"
#include "quorvel/interface/WizardTools.h"
#include "qtnb/Wipe.h"

TestDialog::TestDialog(const QByteArray& container, const QByteArray& key, QWidget* parent)
    : QDialog(parent), ui(new Ui::TestDialog)
{
    ui->setupUi(this);
    m_verdict.setAlignment(Qt::AlignHCenter);
    // Connected once, and queued: a handler may release the module, which
    // must not happen inside the module's own event callback.
    connect(&m_provider, &Provider::signalImageReady, this, &TestDialog::clickedAddImage, Qt::QueuedConnection);
    connect(&m_provider, &Provider::signalImageCancel, this, &TestDialog::clickedClearImage, Qt::QueuedConnection);
    guarded([&] {
        m_nbc.fromBytes(container);
        m_sequence.build(m_nbc);
        keyToCode(key, m_expected);
        m_keyBits = 8 * key.size();
        createData();
        m_dispatcher.scan(Dispatcher::modulesPath());
        buildSchemeTable(m_nbc.schemeNumber(), ui->scheme_2);
    });
    m_savedSize = size();
    reloadInput();
    centreOnScreen(this);
    ui->btnAccept->setFocus();
}

TestDialog::~TestDialog()
{
    // The capture stops before the sets it writes into go.
    releaseProvider(m_provider);
    delete ui;
    freeData();
    Nb::wipe(m_expected);
    qDebug() << "TestDialog::~TestDialog()";
}

void TestDialog::paintEvent(QPaintEvent* event)
{
    QWidget::paintEvent(event);
    fitSchemeTable(ui->scheme_2);
}

void TestDialog::createData()
{
    appendNew(m_sequence.count(), m_images, m_params);
}

void TestDialog::freeData()
{
    deleteAll(m_images, m_params);
}

void TestDialog::reloadInput()
{
    m_verdict.hide();
    ui->_btnAgain->hide();
    ui->scheme_2->show();
    ui->btnAccept->show();
    ui->btnClear->show();
    resize(m_savedSize);
    centreOnScreen(this);
    ui->btnAccept->setFocus();
    ui->btnAccept->setDefault(true);
    guarded([this] {
        chooseInputVariant(this, m_dispatcher, m_sequence);
        showCurrentInput(m_sequence, ui->scheme_2);
        m_provider.unload();
        qDebug() << "provider technology" << m_sequence.providerId();
        attachProvider(m_dispatcher, m_sequence, m_provider, ui->widget);
        refreshWindow(this);
        m_savedSize = size();
        m_provider.startCapture(m_images.value(m_sequence.step()));
    });
}

void TestDialog::clickedAddImage()
{
    if (ui->btnAccept->isHidden())
        return; // the verdict is shown; nothing is being captured
    guarded([this] {
        if (!m_provider.capture(false))
            return;
        if (m_sequence.skipGroup())
            reloadInput();
        else
            evaluate();
    });
}

void TestDialog::clickedClearImage()
{
    if (ui->btnAccept->isHidden())
        return;
    guarded([this] { m_provider.restartCapture(); });
}

void TestDialog::clickedAgain() { reloadInput(); }

void TestDialog::evaluate()
{
    const bool ok = guarded([this] {
        // The capture is over: nothing may write into the sets any more.
        m_provider.unload();
        convertSamples(m_dispatcher, m_sequence, m_nbc, m_processor, m_images, m_params, false);
        const int bits = m_nbc.codeLength();
        Nb::Matrix result;
        result.create(Nb::Meta(bits, Nb::MfI1, Nb::MtDO));
        result.resize(1);
        extractCode(m_dispatcher, m_engine, m_nbc, result, m_params);
        const int differences = countDifferences(result, bits, m_expected, m_keyBits);
        Nb::wipe(result);
        delete ui->widget->layout();
        QHBoxLayout* layout = new QHBoxLayout(ui->widget);
        layout->addWidget(&m_verdict, 1);
        m_verdict.setText(verdictText(differences));
        m_verdict.show();
        ui->_btnAgain->show();
        ui->scheme_2->hide();
        ui->btnAccept->hide();
        ui->btnClear->hide();
        m_savedSize = size();
        centreOnScreen(this);
    });
    // "Повторить" starts from fresh sets at the first input.
    freeData();
    createData();
    m_sequence.reset();
    // After a failure the capture starts again into the fresh sets.
    if (!ok)
        reloadInput();
}

int TestDialog::countDifferences(Nb::Matrix& code, int codeBits, Nb::Matrix& expected, int expectedBits)
{
    const auto usable = [](Nb::Matrix& m, int bits) {
        return bits > 0 && m.rows() > 0 && m.cols() > 0 && m.count(0) >= bits && !m.cell(0, 0).isNull();
    };
    const int shorter = qMax(0, qMin(codeBits, expectedBits));
    int differences = qAbs(codeBits - expectedBits);
    if (shorter == 0)
        return differences;
    if (!usable(code, shorter) || !usable(expected, shorter))
        return differences + shorter;
    const Nb::Cell& a = code.cell(0, 0);
    const Nb::Cell& b = expected.cell(0, 0);
    for (int i = 0; i < shorter; ++i)
        if (a.sign(uint32_t(i)) != b.sign(uint32_t(i)))
            ++differences;
    return differences;
}

QString TestDialog::verdictText(int differences)
{
    if (differences == 0)
        return tr("Пользователь определен как СВОЙ");
    return tr("Пользователь определен как ЧУЖОЙ\r\n") + QString::number(differences) + tr(" не совпало");
}
