#pragma once
// The block container: the one serialised form of structured data. A
// container is an ordered list of typed blocks, each a header word (bits 0-23
// the data length, bits 24-31 the block type, little-endian) followed by its
// bytes; head blocks enclose nested runs of blocks.

#include "qtnb/Data.h"
#include "qtnb/Enums.h"
#include "qtnb/Uuid.h"

#include <cstdint>
#include <functional>
#include <QByteArray>
#include <QDataStream>
#include <QDebug>
#include <QList>

namespace Nb {

class Matrix;
class Scheme;

class Block {
public:
    // The length field is 24 bits wide.
    static constexpr int32_t MaxSize = 0xFFFFFF;

    Block();
    explicit Block(BlockType type);
    Block(const Block& other) = default;
    Block& operator=(const Block& other) = default;

    virtual ~Block();
    virtual bool validate() const;
    virtual bool isHead() const;
    virtual void updateLength();
    virtual void clear();
    virtual Block* clone() const;
    virtual QDebug dump(QDebug dbg) const;

    int32_t header() const { return m_header; }
    BlockType type() const { return BlockType(uint32_t(m_header) >> 24); }
    void setType(BlockType type);
    int32_t length() const { return m_header & MaxSize; }
    // False, and nothing changes, for a value that does not fit in 24 bits.
    bool setLength(int32_t length);
    int32_t size() const { return m_data.size(); }
    int32_t byteSize() const { return m_data.size() + 4; }
    const uint8_t* data() const { return reinterpret_cast<const uint8_t*>(m_data.constData()); }
    // Pointer to byte i; null outside 0..size.
    const uint8_t* data(int32_t i) const;
    bool isEmpty() const { return m_data.isEmpty(); }
    bool assign(const Block& other);

    // Appending writers; a push that would take the data past 16,777,215
    // bytes is refused and leaves the block unchanged.
    Block& push(const uint8_t* bytes, int32_t n);
    Block& push(uint8_t v);
    Block& push(uint16_t v);
    Block& push(int32_t v);
    Block& push(const Uuid& id);
    Block& push(const Data& data, bool withSize);
    Block& push(const Matrix& matrix);
    Block& push(const Scheme& scheme);
    // Opens a stream appending to the data, lets write fill it, then updates
    // the length bits.
    Block& pushStream(const std::function<void(QDataStream&)>& write);

    // Positional readers: each reads at pos and advances it; any failure sets
    // pos to -1, and a failed pos stays failed.
    const Block& pop(int32_t& pos, uint8_t* out, int32_t n) const;
    const Block& pop(int32_t& pos, uint8_t& v) const;
    const Block& pop(int32_t& pos, uint16_t& v) const;
    const Block& pop(int32_t& pos, int32_t& v) const;
    const Block& pop(int32_t& pos, Uuid& id) const;
    const Block& pop(int32_t& pos, Data& data, bool withSize) const;
    const Block& pop(int32_t& pos, Matrix& matrix) const;
    const Block& pop(int32_t& pos, Scheme& scheme) const;
    // Runs read on a read-only stream over the data after pos; read returns
    // the bytes it consumed, or a negative value for a failure.
    const Block& popStream(int32_t& pos, const std::function<int32_t(QDataStream&)>& read) const;
    // Moves pos by n; a move before the start or past the end fails.
    const Block& skip(int32_t& pos, int32_t n) const;

    // Reads the data of a block whose header word was already read: the data
    // bytes read, or -1.
    int32_t read(int32_t header, QDataStream& stream);
    // Header word, then the data: 4 + data bytes, or -1.
    int32_t read(QDataStream& stream);
    // Data size + 4, or 0 when nothing (or not all) could be written.
    int32_t write(QDataStream& stream) const;

protected:
    int32_t m_header = 0;
    QByteArray m_data;
};

// Head of a nested run of blocks.
class BlockHead : public Block {
public:
    using Block::Block;
    using Block::setLength;

    // Stores the run length computed from blocks [first, last).
    virtual bool setLength(const QList<Block*>& blocks, int32_t first, int32_t last) = 0;
    // Index one past the run that starts at index.
    virtual int32_t findEnd(const QList<Block*>& blocks, int32_t index) const = 0;
    // The run length in bytes.
    virtual int32_t length() const = 0;
    // Number of blocks of the run, or below 2 when the run is delimited by its length.
    virtual int32_t count() const = 0;
};

// The head of type 0 whose 20 data bytes are the run length (int32) and the
// run identifier. Data shorter than that makes no head: its length reads 0
// and its id null.
class BlockContHead : public BlockHead {
public:
    static constexpr int32_t DataSize = 4 + Uuid::Size;

    BlockContHead();
    BlockContHead(const Uuid& id, int32_t runLength);

    bool isHead() const override;
    Block* clone() const override;
    QDebug dump(QDebug dbg) const override;
    bool setLength(const QList<Block*>& blocks, int32_t first, int32_t last) override;
    int32_t findEnd(const QList<Block*>& blocks, int32_t index) const override;
    int32_t length() const override;
    int32_t count() const override;
    virtual Uuid id() const;
    virtual void set(const Uuid& id, int32_t runLength);

    using BlockHead::setLength;
};

class Container {
public:
    // Makes the blocks while a container is read.
    class Factory {
    public:
        // A new empty block of the class the header word calls for.
        virtual Block* create(const QList<Block*>& blocks, const int32_t& header);
        virtual void destroy(Block* block);
        virtual ~Factory() = default;
    };

    Container();
    Container(const Container& other);
    Container& operator=(const Container& other);

    // Sum over the blocks of data size + 4.
    virtual int32_t byteSize() const;
    virtual int32_t count() const;
    virtual ~Container();

    bool isEmpty() const { return m_blocks.isEmpty(); }
    // Null outside the list.
    Block* at(int32_t index) const;
    const QList<Block*>& blocks() const { return m_blocks; }
    Factory& factory() { return m_factory; }
    const Factory& factory() const { return m_factory; }

    void push(const Block& block);
    void push(const Container& other);
    bool assign(const Container& other);
    // Replaces the content by clones of the nested run that starts at index
    // in other; false when there is no run there.
    bool assignRun(const Container& other, int32_t index);
    // Deletes the last n blocks.
    void pop(int32_t n);
    void clear();
    // First head at or after index; count() when there is none.
    int32_t nextHead(int32_t index) const;
    bool hasInnerHead() const;
    // End of the run headed at index; index itself when there is none.
    int32_t findEnd(int32_t index) const;

    // Bytes of the blocks written (the total is not counted), or -1.
    int32_t writeContainer(QDataStream& stream, bool withTotal) const;
    // n > 0: n blocks; n <= 0: one nested run. Bytes read, or -1.
    int32_t readContainer(QDataStream& stream, int32_t n);

private:
    // Reads one block and appends it: 4 + data bytes, or -1.
    int32_t readBlock(QDataStream& stream, Block** read);
    int64_t totalSize() const;

    QList<Block*> m_blocks;
    Factory m_factory;
};

QDebug operator<<(QDebug dbg, const Block& block);
QDebug operator<<(QDebug dbg, const QList<Block*>& blocks);
QDebug operator<<(QDebug dbg, const Container& container);

} // namespace Nb
