#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <array>

namespace vellumo {

// Text files are Windows-1252: one byte is one character, so any file, even a binary one,
// survives loading and saving unchanged. The five bytes Windows-1252 leaves undefined (0x81,
// 0x8D, 0x8F, 0x90, 0x9D) decode to the C1 controls of the same number and encode back.

QString decodeCp1252(QByteArrayView bytes);

// The character of each byte.
const std::array<char16_t, 256> &cp1252Decoding();

// Decodes into out, which must have room for bytes.size() characters.
void decodeCp1252Into(QByteArrayView bytes, QChar *out);

// Index of the first character that cannot be saved, or -1 if all can.
qsizetype firstUnencodableCp1252(QStringView text);

// Characters that cannot be saved become '?'; a surrogate pair is one character and one '?'.
QByteArray encodeCp1252(QStringView text);

// Encodes into out, which must have room for text.size() bytes, and returns the count written.
// It is less than text.size() only when the text holds surrogate pairs.
qsizetype encodeCp1252Into(QStringView text, char *out);

} // namespace vellumo
