#pragma once
// Small pieces the wizards and the test dialog share: the key as a one-bit
// code matrix and back, centring on the screen, and wiping secrets.

#include <QByteArray>
#include <QString>

#include <exception>

#include "nb-cpp/Exception.h"

#include "qtnb/Matrix.h"

class QDialog;
class QWidget;

// The key as one row, one cell of 8 * key length one-bit elements; element
// 8i + j is bit j (least significant first) of key byte i.
void keyToCode(const QByteArray& key, Nb::Matrix& code);
// The first bits / 8 bytes of the code cell; the bits beyond are dropped.
QByteArray codeToKey(Nb::Matrix& code, int bits);

// Puts the frame's centre on the centre of the primary screen's free area.
void centreOnScreen(QWidget* window);

// Zeroes the bytes in a way the compiler keeps, then empties the array.
void wipe(QByteArray& bytes);
void wipe(uint8_t* bytes, size_t length);
void wipe(Nb::Matrix& matrix);

// Lays the visible window out again after a module put its view into it.
// Hiding a modal dialog would end its exec(), so it is never hidden here.
void refreshWindow(QWidget* window);

// Runs the work of a slot; an Exception it throws is shown in the error box,
// and so is any other, which must not reach Qt's event loop. False when it
// threw.
template <typename Work>
bool guarded(Work&& work)
{
    try {
        work();
        return true;
    } catch (Exception e) {
        showError(e.message);
    } catch (const std::exception& e) {
        showError(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        showError(QString());
    }
    return false;
}

// The modal loop of a wizard: what QDialog::exec does, with a loop the
// dialog does not point to, so that an exception leaving the loop leaves
// nothing dangling behind in the dialog. Returns the dialog's result.
int runModal(QDialog* dialog);
