#pragma once
// Collects Qt debug messages (text and context) while it is alive, and a
// helper that renders one value through a QDebug printer.

#include <QDebug>
#include <QList>
#include <QString>
#include <QStringList>

struct CapturedMessage {
    QtMsgType type;
    QString text;
    QString file;
    int line;
    QString function;
    QString category;
};

class DebugCapture {
public:
    DebugCapture() { s_current = this; m_previous = qInstallMessageHandler(&DebugCapture::handler); }
    ~DebugCapture() { qInstallMessageHandler(m_previous); s_current = nullptr; }

    QList<CapturedMessage> messages;
    QStringList texts() const
    {
        QStringList out;
        for (const CapturedMessage& m : messages)
            out << m.text;
        return out;
    }
    // Messages that are error reports ("@err ...").
    QList<CapturedMessage> reports() const
    {
        QList<CapturedMessage> out;
        for (const CapturedMessage& m : messages)
            if (m.text.startsWith(QLatin1String("@err")))
                out << m;
        return out;
    }
    void clear() { messages.clear(); }

private:
    static void handler(QtMsgType type, const QMessageLogContext& ctx, const QString& msg)
    {
        if (!s_current)
            return;
        s_current->messages << CapturedMessage{type, msg, QString::fromUtf8(ctx.file), ctx.line,
                                               QString::fromUtf8(ctx.function),
                                               QString::fromUtf8(ctx.category)};
    }
    QtMessageHandler m_previous = nullptr;
    static inline DebugCapture* s_current = nullptr;
};

// What a value's QDebug printer writes.
template <typename T>
QString printed(const T& value)
{
    QString s;
    {
        QDebug dbg(&s);
        dbg.nospace() << value;
    }
    return s;
}
