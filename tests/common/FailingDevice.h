#pragma once
// A QIODevice that accepts a given number of bytes and then fails every
// write, to drive writers into their failure paths.

#include <QBuffer>
#include <QByteArray>

class FailingDevice : public QIODevice {
public:
    explicit FailingDevice(qint64 capacity) : m_capacity(capacity) {}

    QByteArray written() const { return m_data; }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 len) override
    {
        const qint64 room = m_capacity - m_data.size();
        if (room <= 0)
            return -1;
        const qint64 n = qMin(room, len);
        m_data.append(data, int(n));
        return n;
    }

private:
    qint64 m_capacity;
    QByteArray m_data;
};
