#pragma once

// Readable QStrings in the tests' failure messages.

#include <QString>

#include <ostream>

inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
