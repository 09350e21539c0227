#pragma once
// The training wizard: the user names the container and picks one of the
// eight standard schemes, enters twelve samples for every input of it (page
// 1 is shown once per input), and on the last page the converter is
// trained for the key and its estimated error figures are shown. The
// trained container's bytes go to the caller's array after every
// successful training run.

#include <QByteArray>
#include <QList>
#include <QSize>
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
class TrainWizard;
}

class TrainWizard : public QWizard {
    Q_OBJECT
public:
    // Samples each input needs before the wizard goes on.
    static constexpr int RequiredSamples = 12;

    TrainWizard(const QByteArray& key, QByteArray& containerBytes, QWidget* parent);
    ~TrainWizard() override;

    int exec() override;

    // The three figures of a training run, one line each.
    static QString figuresText(TrainResult result);
    // The quality bar's value: the weaker of the resistance to strangers
    // (the type-II figure) and the reliability for the owner (type I).
    static int qualityValue(TrainResult result);

public slots:
    void clickedTest();
    void changedSchemes();
    void changedImage();
    void changedPage();
    void clickedAddImage();
    void clickedClearImage();
    void clickedDeleteImage();
    void clickedDeleteAllImages();
    void clickedLoadBims();
    void clickedSaveBims();
    void changedPage0();
    void changedPage1();
    void changedPage2();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void createInputs();
    void freeInputs();
    void updateImageList();
    void appendImageRow();
    void setNavigationEnabled(bool enabled);
    void train();
    void storeTemplate(Nb::SlotId input, const Nb::Uuid& imageType, const Nb::Matrix& pattern);

    Ui::TrainWizard* ui;
    bool captureArmed = false;
    QByteArray& containerBytes;
    const QByteArray& code;
    QList<BimBase*> images;
    QList<Nb::Matrix*> ownParams;
    QList<Nb::Matrix*> alienParams;
    QList<Nb::Matrix*> templates;
    Nb::Matrix codeMatrix;
    TrainResult trainResult;
    Dispatcher dispatcher;
    Provider provider;
    Processor processor;
    Ulvar engine;
    InputSequence sequence;
    Nbc nbc;
    QSize savedSize;
};
