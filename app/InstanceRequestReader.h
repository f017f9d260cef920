#pragma once
#include <QObject>
#include <QString>
#include <QTimer>

#include "app/InstanceMessage.h"

class QLocalSocket;

namespace larkspan {

// Reads one hand-off message from a connection without blocking, acknowledges it and reports it. A connection
// that sends a malformed or oversized message, more than one message, or stalls past the time-out is dropped
// without an acknowledgement. Deletes itself (and the socket it owns) when the connection ends.
class InstanceRequestReader : public QObject {
    Q_OBJECT
public:
    InstanceRequestReader(QLocalSocket* socket, int timeoutMs, QObject* parent);

signals:
    void requestRead(int mode, QString text);

private:
    void ReadAvailable();
    void Drop();

    QLocalSocket* socket_;
    InstanceMessageDecoder decoder_;
    QTimer deadline_;
    bool answered_ = false;
};

}  // namespace larkspan
