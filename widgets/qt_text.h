#pragma once

#include <QString>
#include <string>

// Core texts are UTF-8.
inline QString toQString(const std::string& s) {
    return QString::fromStdString(s);
}
