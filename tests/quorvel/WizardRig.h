#pragma once
// Drives the wizards through their exports against the runtime's test
// module: synthetic people whose samples the module's providers hand out,
// and the steps a user takes on each page.

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QWizard>

#include <random>

#include "ModalDriver.h"
#include "TestModule.h"
#include "quorvel/dll/nbExports.h"

namespace rig {

// Technology of each input of the eight schemes; '|' between alternatives.
inline QString inputsOf(int scheme)
{
    static const char* const inputs[] = {"h", "f", "hf", "h|f", "hh", "ff", "h|h", "f|f"};
    return QString::fromLatin1(inputs[scheme]);
}

// A person with one trait per input of a scheme.
struct Person {
    Person(int scheme, uint32_t seed) : gen(seed), technologies(inputsOf(scheme).remove('|'))
    {
        for (QChar t : technologies)
            traits << personVector(gen, t == 'h' ? TestModule::HandwritingFeatures : TestModule::FingerprintFeatures);
        key.resize(20);
        for (char& c : key)
            c = char(gen());
    }
    int row(int input) const
    {
        return technologies.at(input) == 'h' ? TestModule::HandwritingProvider : TestModule::FingerprintProvider;
    }
    // A training sample, a live sample of this person, or a stranger's.
    QByteArray training(int input) { return vectorBytes(sampleOf(gen, traits.at(input), spread)); }
    QByteArray live(int input) { return vectorBytes(sampleOf(gen, traits.at(input), 0.004f)); }
    QByteArray stranger(int input) { return vectorBytes(personVector(gen, traits.at(input).size())); }

    std::mt19937 gen;
    QString technologies;
    QVector<QVector<float>> traits;
    QByteArray key;
    float spread = 0.04f; // of the training samples' noise
};

// The test module with every row but the second handwriting pair on.
inline TestModule* module()
{
    TestModule* m = testModule();
    if (m) {
        m->reset();
        for (int row : {1, 2, 5, 6, 7})
            m->enable(row);
    }
    return m;
}

inline void next(QWidget* w) { QTest::mouseClick(static_cast<QWizard*>(w)->button(QWizard::NextButton), Qt::LeftButton); }

// Page 1 of the training wizard: twelve samples of the input, then Next.
inline void enterSamples(QWidget* w, TestModule* m, Person& p, int input)
{
    for (int i = 0; i < 12; ++i) {
        m->queueImage(p.row(input), p.training(input));
        ModalDriver::click(w, "btnAccept");
    }
    next(w);
}

// Page 0, then page 1 for every input: the wizard is left on page 2.
inline void trainScheme(QWidget* w, TestModule* m, Person& p, int scheme)
{
    ModalDriver::find<QListWidget>(w, "listSchemes_2")->setCurrentRow(scheme);
    next(w);
    for (int input = 0; input < p.technologies.size(); ++input)
        enterSamples(w, m, p, input);
}

// The chooser: takes the row.
inline void choose(ModalDriver& driver, int row)
{
    driver.on("SelectDialog", [row](QWidget* d) {
        ModalDriver::find<QListWidget>(d, "listWidget")->setCurrentRow(row);
        ModalDriver::click(d, "pushButton");
    });
}

inline QString verdict(QWidget* dialog)
{
    for (QLabel* label : dialog->findChildren<QLabel*>())
        if (label->text().startsWith(QStringLiteral("Пользователь")) && label->isVisible())
            return label->text();
    return QString();
}

// Live samples for the inputs a scheme walks with the given alternative,
// each taken with the named add button.
inline void enterLive(QWidget* w, TestModule* m, Person& p, int scheme, int alternative, bool own,
                      const char* addButton)
{
    const bool alternatives = inputsOf(scheme).contains('|');
    for (int input = 0; input < p.technologies.size(); ++input) {
        if (alternatives && input != alternative)
            continue;
        m->queueImage(p.row(input), own ? p.live(input) : p.stranger(input));
        ModalDriver::click(w, addButton);
    }
}

// nb_extract of the container with the person's live samples; the key, or
// the result code as text.
inline QByteArray extract(TestModule* m, Person& p, int scheme, const QByteArray& container, int alternative = 1)
{
    ModalDriver driver;
    if (inputsOf(scheme).contains('|'))
        choose(driver, alternative);
    driver.on("ExtractWizard", [&](QWidget* w) { enterLive(w, m, p, scheme, alternative, true, "_btnAdd"); });
    uint8_t* key = nullptr;
    uint32_t length = 0;
    const uint32_t rc = nb_extract(reinterpret_cast<const uint8_t*>(container.constData()),
                                   uint32_t(container.size()), &key, &length, nullptr);
    QByteArray result = rc ? QByteArray("rc ") + QByteArray::number(rc) : QByteArray(reinterpret_cast<char*>(key), int(length));
    nb_free(key);
    if (!driver.done() || !driver.errors.isEmpty())
        result += " " + driver.errors.join(", ").toUtf8();
    return result;
}

// nb_train with the driver's steps; the container, or empty.
inline QByteArray train(const QByteArray& key, uint32_t* rc = nullptr)
{
    uint8_t* container = nullptr;
    uint32_t length = 0;
    const uint32_t result = nb_train(reinterpret_cast<const uint8_t*>(key.constData()), uint32_t(key.size()),
                                     &container, &length, nullptr);
    if (rc)
        *rc = result;
    const QByteArray bytes = result == 0 ? QByteArray(reinterpret_cast<char*>(container), int(length)) : QByteArray();
    nb_free(container);
    return bytes;
}

} // namespace rig
