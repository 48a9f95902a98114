#pragma once

#include <QStringList>

// The machine's IPv4 addresses for the address boxes of both programs: every interface's
// address other than the loopback one, then "127.0.0.1" last, so that a box always offers it.
QStringList localIPv4Addresses();
