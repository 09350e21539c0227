#pragma once
// An ordered set of captured images of one input, each an owned buffer of
// the image layout (int32 length n, 16-byte image type id, n bytes), with a
// miniature per image and a changed flag; and the ".bim" image-set file.

#include <cstdint>

#include <QByteArray>
#include <QPixmap>
#include <QString>
#include <QVector>

#include <memory>
#include <vector>

#include "qtnb/Uuid.h"

class QIODevice;
class nbIProvider;

class BimBase {
public:
    // The ".bim" header: "BIM ", 20 reserved bytes, the technology id, the
    // uint32 record count.
    static constexpr int HeaderSize = 44;

    BimBase();
    ~BimBase();
    BimBase(const BimBase&) = delete;
    BimBase& operator=(const BimBase&) = delete;

    int count() const;
    // The image buffer addresses in order, contiguous; null when empty.
    uint8_t* const* data() const;
    uint8_t* at(int index) const;
    Nb::Uuid imageType(int index) const;
    QPixmap miniature(int index) const;

    // Stores a copy of the image; an index outside the set appends. Refused
    // for a null image and for a length of 0 or one whose buffer would not
    // fit an int32.
    bool insert(int index, const uint8_t* image, const QPixmap& miniature);
    bool remove(int index);
    bool clear();

    // A null image counts as released; without a module the buffer is one of
    // the set's own copies.
    static bool freeImage(uint8_t* image, nbIProvider* module);
    // Null for 0 bytes, for more than an int32 counts, and when memory is out.
    static uint8_t* allocate(uint32_t n);

    bool isChanged() const { return m_changed; }
    void resetChanged() { m_changed = false; }

    // All throw Exception on failure. A file is replaced whole: a failed
    // write leaves the old one as it was.
    bool writeFile(const QString& path, Nb::Uuid technology);
    bool readFile(const QString& path, Nb::Uuid expected);
    // The file's bytes from or to any device; the file operations use them.
    bool write(QIODevice& device, const Nb::Uuid& technology) const;
    bool read(QIODevice& device, const Nb::Uuid& expected);
    bool readBytes(const QByteArray& bytes, const Nb::Uuid& expected);

private:
    QVector<uint8_t*> m_images;
    // Parallel to the images; null where there is no miniature.
    std::vector<std::unique_ptr<QPixmap>> m_miniatures;
    bool m_changed = false;
};
