#pragma once
// Small pieces the wizards and the test dialog share: the key as a one-bit
// code matrix and back, centring on the screen.

#include <QByteArray>
#include <QList>
#include <QString>

#include <exception>
#include <initializer_list>

#include "nb-cpp/Exception.h"

#include "qtnb/Matrix.h"

class BimBase;
class Dispatcher;
class InputSequence;
class Nbc;
class Processor;
class Provider;
class QDialog;
class QTableWidget;
class QWidget;
class QWizard;
class Ulvar;

// The key as one row, one cell of 8 * key length one-bit elements; element
// 8i + j is bit j (least significant first) of key byte i.
void keyToCode(const QByteArray& key, Nb::Matrix& code);
// The first bits / 8 bytes of the code cell; the bits beyond are dropped.
QByteArray codeToKey(Nb::Matrix& code, int bits);

// Puts the frame's centre on the centre of the primary screen's free area.
void centreOnScreen(QWidget* window);

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
// nothing dangling behind in the dialog. Ends when the dialog finishes, is
// hidden or is destroyed; returns its result (rejected once destroyed).
int runModal(QDialog* dialog);

// The texts of the five wizard buttons, in the wizard's own translation
// context.
void setWizardButtonTexts(QWizard* wizard);

// Runs the handler of the wizard's current page; a page beyond the list
// has none.
template <typename Wizard>
void runPageHandler(Wizard* wizard, std::initializer_list<void (Wizard::*)()> handlers)
{
    const int id = wizard->currentId();
    if (id >= 0 && size_t(id) < handlers.size())
        (wizard->*handlers.begin()[id])();
}

// count times a new empty entry appended to each list, in the order given.
template <typename... Item>
void appendNew(int count, QList<Item*>&... lists)
{
    for (int i = 0; i < count; ++i)
        (lists.append(new Item), ...);
}

// Every entry of the lists deleted, and the lists emptied.
template <typename... Item>
void deleteAll(QList<Item*>&... lists)
{
    ((qDeleteAll(lists), lists.clear()), ...);
}

// Stops a capture and lets the provider's module go; a window or device
// that would not detach does not matter any more.
void releaseProvider(Provider& provider) noexcept;

// Moves the scheme table's current-input mark to the cursor's input.
void showCurrentInput(const InputSequence& sequence, QTableWidget* table);

// Binds the provider to a module for the current input's technology,
// attaches device 0 and puts the provider's view into area, whose own
// layout goes first.
void attachProvider(Dispatcher& dispatcher, const InputSequence& sequence, Provider& provider, QWidget* area);
// Grows area's window so that area holds the view put into it: a window
// keeps the size it was first shown at, and a view of fixed size (the
// handwriting pad) larger than the room would be cut off.
void holdView(QWidget* area);

// Converts the samples of every input that has any into its parameter
// matrix with the input's processor, loading the container's template for
// the input first when there is one; an input without samples keeps an
// empty matrix. The cursor ends on the last input. logPattern writes each
// template loaded to the debug output.
void convertSamples(Dispatcher& dispatcher, InputSequence& sequence, const Nbc& nbc, Processor& processor,
                    const QList<BimBase*>& images, const QList<Nb::Matrix*>& params, bool logPattern);

// Binds the engine, has it extract the code from the parameters and lets it
// go again.
void extractCode(Dispatcher& dispatcher, Ulvar& engine, Nbc& nbc, Nb::Matrix& code, QList<Nb::Matrix*>& params);
