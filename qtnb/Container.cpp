#include "qtnb/Container.h"

#include "qtnb/Error.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <QBuffer>
#include <QtEndian>

namespace Nb {

namespace {

constexpr uint32_t TypeMask = 0xFF000000u;

int32_t makeHeader(BlockType type, int32_t length)
{
    return int32_t((uint32_t(type) << 24) | (uint32_t(length) & uint32_t(Block::MaxSize)));
}

} // namespace

// ---------------------------------------------------------------- Block

Block::Block() = default;

Block::Block(BlockType type) : m_header(makeHeader(type, 0)) {}

Block::~Block() = default;

bool Block::validate() const { return length() == m_data.size(); }

bool Block::isHead() const { return false; }

void Block::updateLength() { m_header = makeHeader(type(), m_data.size()); }

void Block::clear()
{
    m_data.clear();
    m_header = 0;
}

Block* Block::clone() const
{
    Block* copy = new Block();
    copy->m_header = m_header;
    copy->m_data = m_data;
    return copy;
}

QDebug Block::dump(QDebug dbg) const
{
    dbg.nospace() << "Block(" << type() << " " << byteSize();
    if (m_data.isEmpty())
        dbg << " [Nil]";
    else
        dbg << " [" << byteListing(data(), size()) << "]";
    dbg << ")";
    return dbg;
}

void Block::setType(BlockType type) { m_header = makeHeader(type, length()); }

bool Block::setLength(int32_t length)
{
    if (length < 0 || length > MaxSize) {
        NB_ERR(1);
        return false;
    }
    m_header = makeHeader(type(), length);
    return true;
}

const uint8_t* Block::data(int32_t i) const
{
    if (i < 0 || i > m_data.size())
        return nullptr;
    return data() + i;
}

bool Block::assign(const Block& other)
{
    m_header = other.m_header;
    m_data = other.m_data;
    return true;
}

Block& Block::push(const uint8_t* bytes, int32_t n)
{
    if (n < 0 || (n > 0 && !bytes)) {
        NB_ERR(1);
        return *this;
    }
    // The 24-bit length would wrap and corrupt every later block of the file.
    if (int64_t(m_data.size()) + n > MaxSize) {
        NB_ERR(2);
        return *this;
    }
    const char* from = reinterpret_cast<const char*>(bytes);
    const std::less<const char*> before;
    if (n > 0 && !before(from, m_data.constData()) && before(from, m_data.constData() + m_data.size())) {
        // Bytes of this block itself: copied out first, as the append may move the array.
        const QByteArray own(from, n);
        m_data.append(own);
    } else {
        m_data.append(from, n);
    }
    updateLength();
    return *this;
}

Block& Block::push(uint8_t v) { return push(&v, 1); }

Block& Block::push(uint16_t v)
{
    uint8_t bytes[2];
    qToLittleEndian<uint16_t>(v, bytes);
    return push(bytes, 2);
}

Block& Block::push(int32_t v)
{
    uint8_t bytes[4];
    qToLittleEndian<int32_t>(v, bytes);
    return push(bytes, 4);
}

Block& Block::push(const Uuid& id) { return push(id.data(), Uuid::Size); }

Block& Block::push(const Data& data, bool withSize)
{
    return pushStream([&](QDataStream& s) { data.write(s, withSize); });
}

Block& Block::pushStream(const std::function<void(QDataStream&)>& write)
{
    const int32_t before = m_data.size();
    bool ok = true;
    {
        QDataStream stream(&m_data, QIODevice::WriteOnly | QIODevice::Append);
        write(stream);
        ok = stream.status() == QDataStream::Ok;
    }
    if (m_data.size() > MaxSize) {
        NB_ERR(1);
        m_data.truncate(before);
    } else if (!ok) {
        NB_ERR(2);
    }
    updateLength();
    return *this;
}

const Block& Block::pop(int32_t& pos, uint8_t* out, int32_t n) const
{
    if (pos < 0) {
        NB_ERR(1);
        return *this;
    }
    if (n < 0 || int64_t(pos) + n > m_data.size() || (n > 0 && !out)) {
        pos = -1;
        NB_ERR(2);
        return *this;
    }
    if (n > 0)
        std::memcpy(out, m_data.constData() + pos, size_t(n));
    pos += n;
    return *this;
}

const Block& Block::pop(int32_t& pos, uint8_t& v) const { return pop(pos, &v, 1); }

const Block& Block::pop(int32_t& pos, uint16_t& v) const
{
    uint8_t bytes[2];
    pop(pos, bytes, 2);
    if (pos >= 0)
        v = qFromLittleEndian<uint16_t>(bytes);
    return *this;
}

const Block& Block::pop(int32_t& pos, int32_t& v) const
{
    uint8_t bytes[4];
    pop(pos, bytes, 4);
    if (pos >= 0)
        v = qFromLittleEndian<int32_t>(bytes);
    return *this;
}

const Block& Block::pop(int32_t& pos, Uuid& id) const
{
    uint8_t bytes[Uuid::Size];
    pop(pos, bytes, Uuid::Size);
    if (pos >= 0)
        std::memcpy(id.data(), bytes, Uuid::Size);
    return *this;
}

const Block& Block::pop(int32_t& pos, Data& data, bool withSize) const
{
    return popStream(pos, [&](QDataStream& s) { return data.read(s, withSize, m_data.size() - pos); });
}

const Block& Block::popStream(int32_t& pos, const std::function<int32_t(QDataStream&)>& read) const
{
    if (pos < 0 || pos > m_data.size()) {
        pos = -1;
        return *this;
    }
    QDataStream stream(m_data);
    if (stream.skipRawData(pos) != pos) {
        pos = -1;
        return *this;
    }
    const int32_t consumed = read(stream);
    // A reader that claims more than there was is as wrong as one that failed.
    if (consumed < 0 || consumed > m_data.size() - pos)
        pos = -1;
    else
        pos += consumed;
    return *this;
}

const Block& Block::skip(int32_t& pos, int32_t n) const
{
    if (pos < 0) {
        pos = -1;
        return *this;
    }
    const int64_t to = int64_t(pos) + n;
    if (to < 0 || to > m_data.size()) {
        pos = -1;
        NB_ERR(1);
        return *this;
    }
    pos = int32_t(to);
    return *this;
}

int32_t Block::read(int32_t header, QDataStream& stream)
{
    clear();
    m_header = header;
    if (!detail::readRawBytes(stream, length(), m_data))
        return -1;
    if (stream.status() != QDataStream::Ok || !validate())
        return -1;
    return m_data.size();
}

int32_t Block::read(QDataStream& stream)
{
    char word[4];
    if (!detail::readRawInto(stream, 4, word))
        return -1;
    const int32_t n = read(qFromLittleEndian<int32_t>(word), stream);
    return n < 0 ? -1 : n + 4;
}

int32_t Block::write(QDataStream& stream) const
{
    if (stream.status() != QDataStream::Ok)
        return 0;
    // A header that does not describe the data would corrupt the stream.
    if (m_data.size() > MaxSize || !validate()) {
        NB_ERR(1);
        stream.setStatus(QDataStream::WriteFailed);
        return 0;
    }
    char word[4];
    qToLittleEndian<int32_t>(m_header, word);
    stream.writeRawData(word, 4);
    stream.writeRawData(m_data.constData(), m_data.size());
    return stream.status() == QDataStream::Ok ? m_data.size() + 4 : 0;
}

QDebug operator<<(QDebug dbg, const Block& block) { return block.dump(dbg); }

// ---------------------------------------------------------------- BlockContHead

BlockContHead::BlockContHead() : BlockHead(BtNbc) {}

BlockContHead::BlockContHead(const Uuid& id, int32_t runLength) : BlockHead(BtNbc) { set(id, runLength); }

bool BlockContHead::isHead() const { return type() == BtNbc && m_data.size() >= DataSize; }

Block* BlockContHead::clone() const { return new BlockContHead(*this); }

QDebug BlockContHead::dump(QDebug dbg) const
{
    dbg.nospace() << "Block(" << type() << " " << byteSize() << " " << length() << " " << id() << ")";
    return dbg;
}

bool BlockContHead::setLength(const QList<Block*>& blocks, int32_t first, int32_t last)
{
    if (m_data.size() < DataSize || first < 0 || last > blocks.size() || first >= blocks.size())
        return false;
    int64_t total = 0;
    for (int32_t i = first; i < last; ++i)
        if (blocks.at(i))
            total += blocks.at(i)->byteSize();
    if (total > std::numeric_limits<int32_t>::max()) {
        NB_ERR(1);
        return false;
    }
    qToLittleEndian<int32_t>(int32_t(total), m_data.data());
    return true;
}

int32_t BlockContHead::findEnd(const QList<Block*>& blocks, int32_t index) const
{
    int64_t remaining = length();
    if (remaining <= 0 || index < 0)
        return index;
    while (index < blocks.size()) {
        const Block* b = blocks.at(index);
        remaining -= b ? b->byteSize() : 0;
        ++index;
        if (remaining <= 0)
            break;
    }
    return index;
}

int32_t BlockContHead::length() const
{
    if (m_data.size() < DataSize)
        return 0;
    return qFromLittleEndian<int32_t>(m_data.constData());
}

int32_t BlockContHead::count() const { return 0; }

Uuid BlockContHead::id() const
{
    Uuid id;
    if (m_data.size() >= DataSize)
        std::memcpy(id.data(), m_data.constData() + 4, Uuid::Size);
    return id;
}

void BlockContHead::set(const Uuid& id, int32_t runLength)
{
    if (!m_data.isEmpty())
        clear();
    char bytes[DataSize];
    qToLittleEndian<int32_t>(runLength, bytes);
    std::memcpy(bytes + 4, id.data(), Uuid::Size);
    m_data = QByteArray(bytes, DataSize);
    updateLength();
}

// ---------------------------------------------------------------- Container

Block* Container::Factory::create(const QList<Block*>&, const int32_t& header)
{
    if ((uint32_t(header) & TypeMask) == 0)
        return new BlockContHead();
    return new Block();
}

void Container::Factory::destroy(Block* block) { delete block; }

Container::Container() = default;

Container::Container(const Container& other) { push(other); }

Container& Container::operator=(const Container& other)
{
    assign(other);
    return *this;
}

Container::~Container() { clear(); }

int64_t Container::totalSize() const
{
    int64_t total = 0;
    for (const Block* b : m_blocks)
        total += b->byteSize();
    return total;
}

int32_t Container::byteSize() const { return int32_t(totalSize()); }

int32_t Container::count() const { return m_blocks.size(); }

Block* Container::at(int32_t index) const
{
    if (index < 0 || index >= m_blocks.size())
        return nullptr;
    return m_blocks.at(index);
}

void Container::push(const Block& block) { m_blocks.append(block.clone()); }

void Container::push(const Container& other)
{
    // Counted first, so that pushing a container onto itself doubles it once.
    const int32_t n = other.m_blocks.size();
    for (int32_t i = 0; i < n; ++i)
        m_blocks.append(other.m_blocks.at(i)->clone());
}

bool Container::assign(const Container& other)
{
    if (&other == this)
        return true;
    clear();
    push(other);
    return true;
}

bool Container::assignRun(const Container& other, int32_t index)
{
    if (index < 0 || index >= other.count() || other.nextHead(index) != index)
        return false;
    const int32_t end = other.findEnd(index);
    if (end == index)
        return false;
    // Clones first: other may be this container.
    QList<Block*> run;
    for (int32_t i = index; i < end; ++i)
        run.append(other.m_blocks.at(i)->clone());
    clear();
    m_blocks = run;
    return true;
}

void Container::pop(int32_t n)
{
    for (; n > 0 && !m_blocks.isEmpty(); --n)
        m_factory.destroy(m_blocks.takeLast());
}

void Container::clear()
{
    for (Block* b : m_blocks)
        m_factory.destroy(b);
    m_blocks.clear();
}

int32_t Container::nextHead(int32_t index) const
{
    for (int32_t i = std::max(index, 0); i < m_blocks.size(); ++i)
        if (m_blocks.at(i)->isHead())
            return i;
    return m_blocks.size();
}

bool Container::hasInnerHead() const
{
    for (int32_t i = 1; i < m_blocks.size(); ++i)
        if (m_blocks.at(i)->isHead())
            return true;
    return false;
}

int32_t Container::findEnd(int32_t index) const
{
    if (index < 0 || index >= m_blocks.size()) {
        NB_ERR(3);
        return index;
    }
    const Block* b = m_blocks.at(index);
    if (!b) {
        NB_ERR(1);
        return index;
    }
    const BlockHead* head = b->isHead() ? dynamic_cast<const BlockHead*>(b) : nullptr;
    if (!head) {
        NB_ERR(2);
        return index;
    }
    return head->findEnd(m_blocks, index);
}

int32_t Container::writeContainer(QDataStream& stream, bool withTotal) const
{
    if (withTotal) {
        const int64_t total = totalSize();
        if (total > std::numeric_limits<int32_t>::max()) {
            NB_ERR(1);
            return -1;
        }
        char word[4];
        qToLittleEndian<int32_t>(int32_t(total), word);
        stream.writeRawData(word, 4);
        if (stream.status() != QDataStream::Ok)
            return -1;
    }
    int32_t written = 0;
    for (const Block* b : m_blocks) {
        const int32_t r = b->write(stream);
        if (r <= 0 || stream.status() != QDataStream::Ok)
            return -1;
        written += r;
    }
    return written;
}

int32_t Container::readBlock(QDataStream& stream, Block** read)
{
    char word[4];
    if (!detail::readRawInto(stream, 4, word))
        return -1;
    const int32_t header = qFromLittleEndian<int32_t>(word);
    Block* block = m_factory.create(m_blocks, header);
    if (!block)
        return -1;
    const int32_t n = block->read(header, stream);
    if (n < 0 || stream.status() != QDataStream::Ok) {
        m_factory.destroy(block);
        return -1;
    }
    if (read)
        *read = block;
    m_blocks.append(block);
    return n + 4;
}

int32_t Container::readContainer(QDataStream& stream, int32_t n)
{
    clear();
    int64_t total = 0;
    // Reads k further blocks; the bytes of all blocks read, or -1.
    const auto readCounted = [&](int32_t k) -> int32_t {
        for (int32_t i = 0; i < k; ++i) {
            const int32_t r = readBlock(stream, nullptr);
            if (r < 0)
                return -1;
            total += r;
        }
        return total > std::numeric_limits<int32_t>::max() ? -1 : int32_t(total);
    };
    if (n > 0)
        return readCounted(n);

    // One nested run, opened by a head.
    Block* first = nullptr;
    const int32_t r = readBlock(stream, &first);
    if (r < 0)
        return -1;
    const BlockHead* head = first->isHead() ? dynamic_cast<const BlockHead*>(first) : nullptr;
    if (!head) {
        pop(1);
        return -1;
    }
    total = r;
    const int32_t blocks = head->count();
    if (blocks >= 2)
        return readCounted(blocks - 1);
    int64_t remaining = int64_t(head->length()) - first->byteSize();
    if (remaining == 0)
        return -1;
    while (remaining > 0) {
        const int32_t k = readBlock(stream, nullptr);
        if (k < 0)
            return -1;
        total += k;
        remaining -= k;
    }
    if (total > std::numeric_limits<int32_t>::max())
        return -1;
    return int32_t(total);
}

QDebug operator<<(QDebug dbg, const QList<Block*>& blocks)
{
    dbg.nospace() << "Blocks(\n";
    for (int32_t i = 0; i < blocks.size(); ++i) {
        dbg << "\t" << i;
        if (blocks.at(i))
            dbg << ":" << *blocks.at(i) << "\n";
        else
            dbg << ":Nil\n";
    }
    dbg << ")";
    return dbg;
}

QDebug operator<<(QDebug dbg, const Container& container)
{
    dbg.nospace() << "Container(" << container.blocks() << ")";
    return dbg;
}

} // namespace Nb
