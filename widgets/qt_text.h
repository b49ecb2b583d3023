#pragma once

#include "text.h"

#include <QString>
#include <string>

// Core texts are UTF-8.
inline QString toQString(const std::string& s) {
    return QString::fromStdString(s);
}

// A text from a server as shown in a cell or label: kept from turning its neighbours' direction,
// its control characters visible.
inline QString serverText(const std::string& s) {
    return QString::fromStdString(quorvale::isolatedDisplayText(s));
}
