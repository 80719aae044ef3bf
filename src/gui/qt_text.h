#pragma once
// Texts between the program's byte strings and Qt. The program's texts are
// single-byte (the driver's names, the string table, the text blocks); each
// byte becomes the character of the same code, so nothing is lost.

#include <QIcon>
#include <QString>
#include <string_view>

namespace vantrel {

inline QString FromBytes(std::string_view bytes) {
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

// A message text with its line breaks ("\r\n", "\r" or "\n") as "\n".
inline QString MessageLines(std::string_view bytes) {
    QString text = FromBytes(bytes);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

// A numbered picture of the program (icon 128, 132, ... 191), compiled in.
inline QIcon ResourceIcon(int id) {
    return QIcon(QStringLiteral(":/icons/icon%1.svg").arg(id));
}

}  // namespace vantrel
