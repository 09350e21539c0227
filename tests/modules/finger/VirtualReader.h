#pragma once
// What the fingerprint module's tests share: the built module loaded by
// path, and libfprint's virtual image reader fed through its socket with
// synthetic fingers.

#include <cstring>

#include <QByteArray>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "ModuleRig.h"
#include "modules/finger/SyntheticFinger.h"
#include "nbi/nbModule.h"

#ifndef FINGER_MODULE_PATH
#error "FINGER_MODULE_PATH names the built module"
#endif

namespace rig {

inline NbQueryComponentFn fingerModule() { return modrig::entryPoint(FINGER_MODULE_PATH); }

template <typename T>
T* make(const Nb::Uuid& classId, const Nb::Uuid& iid)
{
    return modrig::make<T>(fingerModule(), classId, iid);
}

// A press wholly on the reader, turned and stretched a little: the tests
// follow the road, the benchmark measures partial and distorted presses.
inline Finger::GreyImage fingerImage(uint32_t finger, uint32_t press)
{
    Finger::Press p = Finger::Press::random(press, 8.0f);
    p.cut = 0;
    p.stretch = 2.5f;
    return Finger::SyntheticFinger(finger).impression(p);
}

// libfprint's virtual image reader: it appears when FP_VIRTUAL_IMAGE names a
// socket path at enumeration, listens there once opened, and takes messages
// of two host-order int32 (width, height) and the grey bytes; a negative
// first int is a command (-4 finger on/off, -5 unplugged).
class VirtualReader {
public:
    VirtualReader() : m_path(m_dir.filePath(QStringLiteral("reader"))) { plugIn(); }
    ~VirtualReader() { disconnect(); }

    // Only this reader, and no real one, is seen from the next attach on.
    void plugIn()
    {
        qputenv("FP_DRIVERS_WHITELIST", "virtual_image");
        qputenv("FP_VIRTUAL_IMAGE", m_path.toUtf8());
        qunsetenv("FP_VIRTUAL_DEVICE");
    }

    bool connect()
    {
        disconnect();
        m_fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        const QByteArray path = m_path.toUtf8();
        // A temporary folder deep enough to overflow the address fails here.
        if (size_t(path.size()) >= sizeof addr.sun_path)
            return false;
        std::memcpy(addr.sun_path, path.constData(), size_t(path.size()));
        return m_fd >= 0 && ::connect(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    }
    void disconnect()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }
    bool send(const Finger::GreyImage& image)
    {
        const int32_t head[2] = {image.width, image.height};
        return put(head, sizeof head) && put(image.pixels.data(), image.pixels.size());
    }
    bool command(int32_t code, int32_t value)
    {
        const int32_t message[2] = {code, value};
        return put(message, sizeof message);
    }

private:
    bool put(const void* data, size_t n)
    {
        const char* p = static_cast<const char*>(data);
        while (n > 0) {
            const ssize_t sent = ::send(m_fd, p, n, MSG_NOSIGNAL);
            if (sent <= 0)
                return false;
            p += sent;
            n -= size_t(sent);
        }
        return true;
    }

    QTemporaryDir m_dir;
    QString m_path;
    int m_fd = -1;
};

} // namespace rig
