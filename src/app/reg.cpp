#include "app/reg.h"

#include <QDir>
#include <QSettings>
#include <QVariant>

#include <memory>
#include <optional>
#include <stdexcept>

namespace {

std::unique_ptr<QSettings> open_store() {
#ifdef _WIN32
    // The per-machine key, as earlier versions of the program kept it.
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::SystemScope, "Quorvex",
                                       "Marev01");
#else
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, "Quorvex",
                                       "Marev01");
#endif
}

// A string value; nothing when absent, and nothing either when stored as
// another type (a number in the registry, a list in the file).
std::optional<QString> read_string(const QVariant& v, bool& other_type) {
    other_type = false;
    if (!v.isValid())
        return std::nullopt;
    if (v.typeId() != QMetaType::QString) {
        other_type = true;
        return std::nullopt;
    }
    return v.toString();
}

// A 32-bit whole number; nothing when absent or not a whole number (the file
// holds text, and text that is not a whole number counts as another type).
std::optional<std::uint32_t> read_dword(const QVariant& v) {
    if (!v.isValid())
        return std::nullopt;
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return static_cast<std::uint32_t>(v.toLongLong());
    case QMetaType::QString: {
        bool ok = false;
        const qlonglong n = v.toString().trimmed().toLongLong(&ok);
        if (!ok)
            return std::nullopt;
        return static_cast<std::uint32_t>(n);
    }
    default:
        return std::nullopt;
    }
}

} // namespace

QString reg::default_savedir() {
#ifdef _WIN32
    return QStringLiteral("C:\\");
#else
    return QDir::homePath();
#endif
}

void reg::load() {
    const auto store = open_store();

    bool other = false;
    const auto dir = read_string(store->value("savedir"), other);
    savedir = dir && !dir->isEmpty() ? *dir : default_savedir();

    calfile = read_string(store->value("calfile"), other).value_or(QString());

    if (const auto r = read_dword(store->value("reconnect")))
        reconnect = *r != 0;

    // One guarded block, as the stored pair was always read: a missing or
    // unreadable port leaves both values as they are.
    const auto port = read_dword(store->value("commport"));
    if (!port)
        return;
    commport = static_cast<std::int16_t>(static_cast<std::uint16_t>(*port & 0xffffu));
    if (const auto t = read_dword(store->value("include_time")))
        include_time = *t != 0;
}

void reg::save() const {
    const auto store = open_store();
    if (!store->isWritable())
        throw std::runtime_error("Unable to write to registry!");
    store->setValue("commport", int(commport));
    store->setValue("savedir", savedir);
    store->setValue("calfile", calfile);
    store->setValue("include_time", include_time ? 1 : 0);
    store->setValue("reconnect", reconnect ? 1 : 0);
    store->sync();
    if (store->status() != QSettings::NoError)
        throw std::runtime_error("Unable to write to registry!");
}
