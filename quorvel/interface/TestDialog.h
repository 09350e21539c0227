#pragma once
// Manual test of a freshly trained container: the user enters live samples
// as the scheme asks, the engine extracts the code from them, and the code
// is compared bit by bit with the key the container was trained for.

#include <QByteArray>
#include <QDialog>
#include <QLabel>
#include <QList>
#include <QSize>

#include "nb-cpp/BimBase.h"
#include "nb-cpp/Dispatcher.h"
#include "nb-cpp/InputSequence.h"
#include "nb-cpp/Nbc.h"
#include "nb-cpp/Processor.h"
#include "nb-cpp/Provider.h"
#include "nb-cpp/Ulvar.h"
#include "qtnb/Matrix.h"

namespace Ui {
class TestDialog;
}

class TestDialog : public QDialog {
    Q_OBJECT
public:
    // Both arrays are read by the constructor only.
    TestDialog(const QByteArray& container, const QByteArray& key, QWidget* parent);
    ~TestDialog() override;

    // Prepares the capture of the current input.
    void reloadInput();

    // Bits in which two one-bit codes differ, over the shorter of the two;
    // every bit the longer one has beyond it counts as different.
    static int countDifferences(Nb::Matrix& code, int codeBits, Nb::Matrix& expected, int expectedBits);
    static QString verdictText(int differences);

public slots:
    void clickedAddImage();
    void clickedClearImage();
    void clickedAgain();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void createData();
    void freeData();
    void evaluate();

    Ui::TestDialog* ui;
    QLabel m_verdict;
    QSize m_savedSize;
    int m_keyBits = 0;
    QList<BimBase*> m_images;
    QList<Nb::Matrix*> m_params;
    Dispatcher m_dispatcher;
    Provider m_provider;
    Processor m_processor;
    Ulvar m_engine;
    InputSequence m_sequence;
    Nbc m_nbc;
    Nb::Matrix m_expected;
};
