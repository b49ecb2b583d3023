#include "local_address.h"

#include <QHostInfo>
#include <QNetworkInterface>

QString localIPv4Address() {
    for (const QHostAddress& a : QNetworkInterface::allAddresses()) {
        if (a.protocol() == QAbstractSocket::IPv4Protocol && !a.isLoopback())
            return a.toString();
    }
    const QHostInfo info = QHostInfo::fromName(QHostInfo::localHostName());
    for (const QHostAddress& a : info.addresses()) {
        if (a.protocol() == QAbstractSocket::IPv4Protocol)
            return a.toString();
    }
    return QStringLiteral("127.0.0.1");
}
