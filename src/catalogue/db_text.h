#pragma once
// Conversions between the program's texts and the catalogue's values.
//
// The program's texts are byte strings (device object names come from the
// driver as ANSI bytes and are never re-encoded). The catalogue stores each
// byte as one character (Latin-1), so every text round-trips exactly, a
// lookup compares the same bytes that were stored, and a length in
// characters is a length in bytes.

#include <QSqlError>
#include <QString>
#include <QVariant>
#include <cstdint>
#include <string>
#include <string_view>

namespace vantrel {

inline QString ToDbText(std::string_view s) {
    return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}

inline std::string FromDbText(const QVariant& v) {
    if (v.isNull()) return {};
    const QByteArray bytes = v.toString().toLatin1();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

// A stored integer as 32 bits. Values written by another program as the
// unsigned form of the same 32 bits (0x80000000 and up) read as the negative
// number; NULL reads as 0. False for anything else.
inline bool FromDbInteger(const QVariant& v, int32_t& out) {
    if (v.isNull()) {
        out = 0;
        return true;
    }
    bool ok = false;
    const qlonglong n = v.toLongLong(&ok);
    if (!ok || n < -2147483648LL || n > 0xFFFFFFFFLL) return false;
    out = static_cast<int32_t>(static_cast<uint32_t>(n));
    return true;
}

// The database engine's own description of an error.
inline std::string DbErrorText(const QSqlError& e) {
    QString t = e.databaseText();
    if (t.isEmpty()) t = e.text();
    if (t.isEmpty()) t = QStringLiteral("Unknown database error.");
    return t.toStdString();
}

}  // namespace vantrel
