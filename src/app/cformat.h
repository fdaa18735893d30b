#pragma once

#include <QString>

namespace marev {

// The window texts that the program formats as C's printf does ("%.1f MB",
// "%i more seconds..."), with the C locale's decimal point. At most 511
// characters.
#ifdef __GNUC__
__attribute__((format(printf, 1, 2)))
#endif
QString
cformat(const char* format, ...);

} // namespace marev
