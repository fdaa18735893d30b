#include "app/cformat.h"

#include <cstdarg>
#include <cstdio>

namespace marev {

QString cformat(const char* format, ...) {
    char buf[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buf, sizeof buf, format, args);
    va_end(args);
    return QString::fromLatin1(buf);
}

} // namespace marev
