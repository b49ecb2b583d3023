#pragma once

#include <QString>

// The address a player gives a friend: the first IPv4 address of this host that is not a
// loopback address; else the host name's first IPv4 address; else 127.0.0.1.
QString localIPv4Address();
