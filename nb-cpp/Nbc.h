#pragma once
// The biometric container: a block container whose numbered blocks hold
// the standard-scheme number, the display name, one template and one
// module record per input, the container id, the code length, the code
// hash and the converter scheme (and, once trained, the engine's
// parameter blocks). Block 0 is always the head of the whole run.

#include "qtnb/Container.h"
#include "qtnb/Data.h"
#include "qtnb/Matrix.h"
#include "qtnb/Scheme.h"
#include "qtnb/Uuid.h"

#include <QByteArray>
#include <QIODevice>
#include <QList>
#include <QString>

class Nbc : public Nb::Container {
public:
    // Block types of the container's content.
    static constexpr Nb::BlockType BtSchemeNumber = Nb::BlockType(129);
    static constexpr Nb::BlockType BtText = Nb::BlockType(130);
    static constexpr Nb::BlockType BtName = Nb::BlockType(131);
    static constexpr Nb::BlockType BtTemplate = Nb::BlockType(132);
    static constexpr Nb::BlockType BtCodeMatrix = Nb::BlockType(133);
    static constexpr Nb::BlockType BtInputModules = Nb::BlockType(134);
    static constexpr Nb::BlockType BtContainerId = Nb::BlockType(135);
    static constexpr Nb::BlockType BtCodeLength = Nb::BlockType(136);
    static constexpr Nb::BlockType BtCodeHash = Nb::BlockType(137);
    static constexpr Nb::BlockType BtScheme = Nb::BlockType(250);

    // Code lengths in bits that a container read from outside may announce.
    static constexpr int32_t MinCodeLength = 8;
    static constexpr int32_t MaxCodeLength = 65536;

    Nbc();

    bool updateHead();
    void clear();
    int32_t blockIndex(Nb::BlockType type) const;
    void setBlock(int32_t index, const Nb::Block& block);
    bool findBlocks(QList<Nb::Block*>& found, Nb::BlockType type) const;

    // Readers: false on any failure, leaving the container as it was.
    bool fromBytes(const QByteArray& bytes);
    bool toBytes(QByteArray& bytes) const;
    bool fromData(const Nb::Data& data);
    bool toData(Nb::Data& data) const;
    // Throw Exception on failure; a file is replaced whole.
    bool readFile(const QString& path);
    bool writeFile(const QString& path) const;
    // readFile's reading, from any open device that holds a file's bytes.
    bool readFile(QIODevice& file);

    QString text() const;
    void setText(const QString& text);
    QString name() const;
    void setName(const QString& name);
    int32_t schemeNumber() const;
    // Builds standard scheme number (0..7) for the container's code length:
    // blocks 134, 250 and 129. False, with nothing written, for a code
    // length outside MinCodeLength..MaxCodeLength (0 among them); a number
    // outside 0..7 throws Exception.
    bool setStandardScheme(int number);
    // The module records (134, appended) and the scheme (250, replaced);
    // throws for a bad number, false with nothing written when the scheme
    // cannot be stored.
    bool buildStandardScheme(int number, int codeLength);
    // The scheme of block 250 read into out (cleared first); false when
    // the block is absent or unreadable, out then empty.
    bool scheme(Nb::Scheme& out) const;
    // False, and nothing changed, for a scheme that cannot be written.
    bool setScheme(const Nb::Scheme& scheme);
    int32_t codeLength() const;
    void setCodeLength(int32_t bits);
    Nb::Uuid containerId() const;

    bool setTemplate(Nb::SlotId input, const Nb::Uuid& imageType, const Nb::Matrix& matrix);
    bool getTemplate(Nb::SlotId input, const Nb::Uuid& imageType, Nb::Matrix& matrix) const;
    // The index of the first template block of the input and image type; -1
    // when there is none.
    int32_t templateIndex(Nb::SlotId input, const Nb::Uuid& imageType) const;
    // A template block's input slot and image type; returns where its matrix
    // starts, negative when the block is too short for them.
    static int32_t templateHead(const Nb::Block& block, uint16_t& input, Nb::Uuid& imageType);
    bool setInputModules(Nb::SlotId input, const QList<Nb::Uuid>& modules);
    QList<Nb::Uuid> inputModules(Nb::SlotId input) const;

    void setCodeMatrix(const Nb::Matrix& code);
    bool codeMatrix(Nb::Matrix& code) const;
    void setCode(const QByteArray& code);
    bool code(QByteArray& code) const;
    bool setCodeHash(const Nb::Matrix& code);
    bool checkCodeHash(const Nb::Matrix& code) const;

private:
    bool readFrom(QDataStream& stream);
    void replace(const Nb::Block& block);
    QString textOf(Nb::BlockType type) const;
    void setTextOf(Nb::BlockType type, const QString& text);
    bool int32Of(Nb::BlockType type, int32_t& value) const;
    void setInt32Of(Nb::BlockType type, int32_t value);

    Nb::Uuid m_id;
};
