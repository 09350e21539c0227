#pragma once
// The key-extraction wizard: reads a container, shows its scheme, captures
// one live sample per input the scheme asks for (the user picks among
// alternatives), converts the samples with the inputs' processors and lets
// the engine extract the code, which becomes the key.

#include <QByteArray>
#include <QList>
#include <QWizard>

#include "nb-cpp/BimBase.h"
#include "nb-cpp/Dispatcher.h"
#include "nb-cpp/InputSequence.h"
#include "nb-cpp/Nbc.h"
#include "nb-cpp/Processor.h"
#include "nb-cpp/Provider.h"
#include "nb-cpp/Ulvar.h"
#include "qtnb/Matrix.h"

namespace Ui {
class ExtractWizard;
}

class ExtractWizard : public QWizard {
    Q_OBJECT
public:
    // key receives the extracted key when the wizard ends accepted.
    ExtractWizard(const QByteArray& container, QByteArray& key, QWidget* parent);
    ~ExtractWizard() override;

    // A wizard whose construction failed is not shown: 0 at once.
    int exec() override;

public slots:
    void changedPage();
    void clickedAddImage();
    void clickedClearImage();
    void changedPage0();
    void changedPage1();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void createBuffers();
    void freeBuffers();

    const QByteArray& m_container;
    QByteArray& m_key;
    Ui::ExtractWizard* ui;
    Nbc m_nbc;
    InputSequence m_sequence;
    Dispatcher m_dispatcher;
    Provider m_provider;
    Processor m_processor;
    Ulvar m_engine;
    QList<BimBase*> m_images;
    QList<Nb::Matrix*> m_params;
    Nb::Matrix m_code;
    bool m_buffersReady = false;
    bool m_broken = false;
};
