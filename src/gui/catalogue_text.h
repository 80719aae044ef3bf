#pragma once
// Catalogue texts on screen. The catalogue's texts are bytes, one character
// each (Latin-1), as the database stores them; a character typed beyond
// Latin-1 becomes '?'.

#include <QString>
#include <string>
#include <string_view>

namespace vantrel {

inline QString ToScreenText(std::string_view bytes) {
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

inline std::string FromScreenText(const QString& text) {
    const QByteArray bytes = text.toLatin1();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

}  // namespace vantrel
