#include "nb-cpp/Nbc.h"
#include "nb-cpp/Exception.h"
#include "qtnb/SaveFile.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDataStream>
#include <QDebug>
#include <QFile>
#include <QSaveFile>
#include <QUuid>

namespace {

// The head's run length is the first int32 of its data.
Nb::BlockHead* headOf(const Nb::Container& c)
{
    Nb::Block* first = c.at(0);
    return first && first->isHead() ? dynamic_cast<Nb::BlockHead*>(first) : nullptr;
}

// A container from outside is taken only with its head in front and a
// code length that makes sense.
bool acceptable(const Nb::Container& c)
{
    if (c.isEmpty() || !headOf(c))
        return false;
    for (const Nb::Block* b : c.blocks())
        if (b->type() == Nbc::BtCodeLength) {
            int32_t pos = 0, bits = 0;
            b->pop(pos, bits);
            return pos >= 0 && bits >= Nbc::MinCodeLength && bits <= Nbc::MaxCodeLength;
        }
    return true;
}

// The code packed into bytes: bit i of the cell to bit i % 8 of byte i / 8.
bool pack(const Nb::Matrix& code, QByteArray& bytes)
{
    if (code.rows() < 1 || code.cols() < 1 || !code.hasRow(0))
        return false;
    const int32_t size = code.meta(0).size();
    bytes = QByteArray(size, '\0');
    const Nb::Cell cell(code.at(0, 0));
    for (int32_t i = 0; i < 8 * size; ++i)
        if (cell.sign(uint32_t(i)) > 0)
            bytes[i / 8] = char(uint8_t(bytes[i / 8]) | (1u << (i % 8)));
    return true;
}

// Copies a matrix into out with the layout of its first row.
bool copyMatrix(const Nb::Matrix& from, Nb::Matrix& out)
{
    if (from.rows() < 1)
        return false;
    return out.create(from.meta(0)) && out.resize(from.cols()) && out.assign(from);
}

} // namespace

Nbc::Nbc()
{
    push(Nb::BlockContHead(Nb::NilUuid, 0));
    updateHead();
    m_id = Nb::Uuid(QUuid::createUuid().toString());
    Nb::Block id(BtContainerId);
    id.push(m_id);
    push(id);
    updateHead();
}

bool Nbc::updateHead()
{
    if (!headOf(*this)) {
        // Never left without its head: one is put back in front.
        Nb::Container rest(*this);
        Nb::Container::clear();
        push(Nb::BlockContHead(Nb::NilUuid, 0));
        push(rest);
    }
    return headOf(*this)->setLength(blocks(), 0, count());
}

void Nbc::clear()
{
    pop(count() - 1);
    updateHead();
}

int32_t Nbc::blockIndex(Nb::BlockType type) const
{
    for (int32_t i = 0; i < count(); ++i)
        if (at(i)->type() == type)
            return i;
    return -1;
}

void Nbc::setBlock(int32_t index, const Nb::Block& block)
{
    Nb::Block* old = at(index);
    if (blockIndex(block.type()) >= 0 && old && !old->isHead())
        old->assign(block);
    else
        push(block);
}

void Nbc::replace(const Nb::Block& block)
{
    setBlock(blockIndex(block.type()), block);
    updateHead();
}

bool Nbc::findBlocks(QList<Nb::Block*>& found, Nb::BlockType type) const
{
    const int32_t before = found.size();
    for (Nb::Block* b : blocks())
        if (b->type() == type)
            found.append(b);
    return found.size() > before;
}

bool Nbc::readFrom(QDataStream& stream)
{
    Nb::Container read;
    if (read.readContainer(stream, -1) <= 0 || !acceptable(read))
        return false;
    assign(read);
    return true;
}

bool Nbc::fromBytes(const QByteArray& bytes)
{
    QDataStream stream(bytes);
    return readFrom(stream);
}

bool Nbc::toBytes(QByteArray& bytes) const
{
    bytes.clear();
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    return writeContainer(stream, false) > 0;
}

bool Nbc::fromData(const Nb::Data& data)
{
    if (!data.hasData())
        return false;
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data.data()), data.size());
    QDataStream stream(bytes);
    return readFrom(stream);
}

bool Nbc::toData(Nb::Data& data) const
{
    QByteArray bytes;
    {
        QDataStream out(&bytes, QIODevice::WriteOnly);
        if (writeContainer(out, true) <= 0)
            return false;
    }
    QDataStream in(bytes);
    return data.read(in, true) == bytes.size();
}

bool Nbc::readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Exception("Невозможно открыть биометрический контейнер");
    return readFile(file);
}

bool Nbc::readFile(QIODevice& file)
{
    QDataStream stream(&file);
    if (!readFrom(stream))
        throw Exception("Невозможно прочитать биометрический контейнер");
    return true;
}

bool Nbc::writeFile(const QString& path) const
{
    // Replaced whole: a shorter container leaves no old tail behind, and a
    // failed write leaves the old file as it was.
    QSaveFile file(path);
    bool ok = Nb::openOwnerOnly(file);
    if (ok) {
        QDataStream stream(&file);
        ok = writeContainer(stream, false) > 0 && Nb::commitWhole(file, stream);
    }
    if (!ok)
        throw Exception("Невозможно записать биометрический контейнер");
    return true;
}

QString Nbc::textOf(Nb::BlockType type) const
{
    const int32_t i = blockIndex(type);
    if (i < 0)
        return QString();
    const Nb::Block* b = at(i);
    int32_t pos = 0, n = 0;
    b->pop(pos, n);
    if (pos < 0 || n < 0 || n > b->size() - pos)
        return QString();
    return QString::fromUtf8(reinterpret_cast<const char*>(b->data(pos)), n);
}

void Nbc::setTextOf(Nb::BlockType type, const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    Nb::Block b(type);
    b.push(int32_t(utf8.size()));
    b.push(reinterpret_cast<const uint8_t*>(utf8.constData()), utf8.size());
    replace(b);
}

bool Nbc::int32Of(Nb::BlockType type, int32_t& value) const
{
    const int32_t i = blockIndex(type);
    if (i < 0)
        return false;
    int32_t pos = 0, v = 0;
    at(i)->pop(pos, v);
    if (pos < 0)
        return false;
    value = v;
    return true;
}

void Nbc::setInt32Of(Nb::BlockType type, int32_t value)
{
    Nb::Block b(type);
    b.push(value);
    replace(b);
}

QString Nbc::text() const { return textOf(BtText); }
void Nbc::setText(const QString& text) { setTextOf(BtText, text); }
QString Nbc::name() const { return textOf(BtName); }
void Nbc::setName(const QString& name) { setTextOf(BtName, name); }

int32_t Nbc::schemeNumber() const
{
    int32_t n = -1;
    return int32Of(BtSchemeNumber, n) ? n : -1;
}

int32_t Nbc::codeLength() const
{
    int32_t bits = 256;
    return int32Of(BtCodeLength, bits) ? bits : 256;
}

void Nbc::setCodeLength(int32_t bits) { setInt32Of(BtCodeLength, bits); }

Nb::Uuid Nbc::containerId() const
{
    const int32_t i = blockIndex(BtContainerId);
    Nb::Uuid id;
    int32_t pos = 0;
    if (i >= 0)
        at(i)->pop(pos, id);
    if (i < 0 || pos < 0)
        throw Exception("В контейнере отсутствует блок container_id");
    return id;
}

bool Nbc::scheme(Nb::Scheme& out) const
{
    out.clear();
    const int32_t i = blockIndex(BtScheme);
    if (i < 0)
        return false;
    int32_t pos = 0;
    at(i)->pop(pos, out);
    if (pos < 0)
        out.clear();
    return pos >= 0;
}

bool Nbc::setScheme(const Nb::Scheme& scheme)
{
    Nb::Block b(BtScheme);
    b.push(scheme);
    if (b.isEmpty())
        return false;
    replace(b);
    return true;
}

bool Nbc::setTemplate(Nb::SlotId input, const Nb::Uuid& imageType, const Nb::Matrix& matrix)
{
    Nb::Block b(BtTemplate);
    b.push(uint16_t(input)).push(imageType).push(matrix);
    push(b);
    return updateHead();
}

int32_t Nbc::templateHead(const Nb::Block& block, uint16_t& input, Nb::Uuid& imageType)
{
    int32_t pos = 0;
    block.pop(pos, input).pop(pos, imageType);
    return pos;
}

int32_t Nbc::templateIndex(Nb::SlotId input, const Nb::Uuid& imageType) const
{
    for (int32_t i = 0; i < count(); ++i) {
        const Nb::Block* b = at(i);
        uint16_t id = 0;
        Nb::Uuid type;
        if (b->type() == BtTemplate && templateHead(*b, id, type) >= 0 && id == uint16_t(input) && type == imageType)
            return i;
    }
    return -1;
}

bool Nbc::getTemplate(Nb::SlotId input, const Nb::Uuid& imageType, Nb::Matrix& matrix) const
{
    const int32_t i = templateIndex(input, imageType);
    if (i < 0)
        return false;
    uint16_t id = 0;
    Nb::Uuid type;
    int32_t pos = templateHead(*at(i), id, type);
    Nb::Matrix stored;
    at(i)->pop(pos, stored);
    return pos >= 0 && copyMatrix(stored, matrix);
}

bool Nbc::setInputModules(Nb::SlotId input, const QList<Nb::Uuid>& modules)
{
    if (modules.size() < 2)
        return false;
    Nb::Block b(BtInputModules);
    b.push(Nb::NilUuid).push(modules.at(0)).push(modules.at(1)).push(int32_t(0)).push(int32_t(uint16_t(input)));
    push(b);
    return updateHead();
}

QList<Nb::Uuid> Nbc::inputModules(Nb::SlotId input) const
{
    for (const Nb::Block* b : blocks()) {
        if (b->type() != BtInputModules)
            continue;
        int32_t pos = 0, zero = 0, id = 0;
        Nb::Uuid nil, provider, processor;
        b->pop(pos, nil).pop(pos, provider).pop(pos, processor).pop(pos, zero).pop(pos, id);
        if (pos >= 0 && id == int32_t(uint16_t(input)))
            return QList<Nb::Uuid>() << provider << processor;
    }
    return QList<Nb::Uuid>();
}

void Nbc::setCodeMatrix(const Nb::Matrix& code)
{
    Nb::Block b(BtCodeMatrix);
    b.push(code);
    replace(b);
}

bool Nbc::codeMatrix(Nb::Matrix& code) const
{
    const int32_t i = blockIndex(BtCodeMatrix);
    if (i < 0)
        return false;
    Nb::Matrix stored;
    int32_t pos = 0;
    at(i)->pop(pos, stored);
    return pos >= 0 && copyMatrix(stored, code);
}

void Nbc::setCode(const QByteArray& code)
{
    Nb::Matrix m(1, Nb::Meta(8 * code.size(), Nb::MfI1, Nb::MtDO));
    if (!m.hasRow(0) || m.cols() < 1)
        return;
    Nb::Cell cell = m.cell(0, 0);
    for (int32_t i = 0; i < 8 * code.size(); ++i)
        cell.setBit(uint32_t(i), (uint8_t(code.at(i / 8)) >> (i % 8)) & 1 ? 1 : -1);
    setCodeMatrix(m);
}

bool Nbc::code(QByteArray& code) const
{
    Nb::Matrix m;
    QByteArray packed;
    if (!codeMatrix(m) || !pack(m, packed))
        return false;
    code = packed;
    return true;
}

bool Nbc::setCodeHash(const Nb::Matrix& code)
{
    QByteArray packed;
    if (!pack(code, packed))
        return false;
    const QByteArray digest = QCryptographicHash::hash(packed, QCryptographicHash::Md5);
    qDebug() << "initial hash" << "length:" << digest.size();
    Nb::Block b(BtCodeHash);
    b.push(reinterpret_cast<const uint8_t*>(digest.constData()), digest.size());
    replace(b);
    return true;
}

bool Nbc::checkCodeHash(const Nb::Matrix& code) const
{
    const int32_t i = blockIndex(BtCodeHash);
    QByteArray packed;
    if (i < 0 || !pack(code, packed))
        return false;
    uint8_t stored[16];
    int32_t pos = 0;
    at(i)->pop(pos, stored, 16);
    const QByteArray digest = QCryptographicHash::hash(packed, QCryptographicHash::Md5);
    return pos >= 0 && digest == QByteArray(reinterpret_cast<const char*>(stored), 16);
}
