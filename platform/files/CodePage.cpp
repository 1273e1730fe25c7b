#include "platform/files/CodePage.h"

#include <array>
#include <cstdint>

namespace vellumo {

namespace {

// 0x80-0x9F; the rest of the code page is Latin-1. Undefined bytes keep their own number.
constexpr std::array<char16_t, 32> kHighBlock = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

constexpr std::array<char16_t, 256> makeDecodeTable()
{
    std::array<char16_t, 256> table{};
    for (int byte = 0; byte < 256; ++byte)
        table[byte] = (byte >= 0x80 && byte < 0xA0) ? kHighBlock[byte - 0x80] : char16_t(byte);
    return table;
}

constexpr std::array<char16_t, 256> kDecode = makeDecodeTable();

constexpr int kUnencodable = -1;

// The highest character with a byte is U+2122; big texts hold many characters
// above U+007F, so a table lookup each beats any search.
constexpr char16_t kEncodeLimit = 0x2123;

constexpr std::array<std::int16_t, kEncodeLimit> makeEncodeTable()
{
    std::array<std::int16_t, kEncodeLimit> table{};
    for (auto &byte : table)
        byte = kUnencodable;
    for (int byte = 0; byte < 256; ++byte)
        table[kDecode[byte]] = std::int16_t(byte);
    return table;
}

constexpr std::array<std::int16_t, kEncodeLimit> kEncode = makeEncodeTable();

inline int encodeChar(char16_t c)
{
    return c < kEncodeLimit ? kEncode[c] : kUnencodable;
}

inline bool isPairAt(const char16_t *s, qsizetype i, qsizetype n)
{
    return i + 1 < n && QChar::isHighSurrogate(s[i]) && QChar::isLowSurrogate(s[i + 1]);
}

} // namespace

void decodeCp1252Into(QByteArrayView bytes, QChar *out)
{
    const auto *in = reinterpret_cast<const unsigned char *>(bytes.data());
    auto *dst = reinterpret_cast<char16_t *>(out);
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n; ++i)
        dst[i] = kDecode[in[i]];
}

const std::array<char16_t, 256> &cp1252Decoding()
{
    return kDecode;
}

QString decodeCp1252(QByteArrayView bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    decodeCp1252Into(bytes, text.data());
    return text;
}

qsizetype firstUnencodableCp1252(QStringView text)
{
    const char16_t *s = text.utf16();
    const qsizetype n = text.size();
    // No separate test for ASCII: on mixed text that branch is a coin toss.
    for (qsizetype i = 0; i < n; ++i) {
        if (encodeChar(s[i]) == kUnencodable)
            return i;
    }
    return -1;
}

qsizetype encodeCp1252Into(QStringView text, char *out)
{
    const char16_t *s = text.utf16();
    const qsizetype n = text.size();
    qsizetype written = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const int byte = encodeChar(s[i]);
        if (byte != kUnencodable) {
            out[written++] = char(byte);
            continue;
        }
        if (isPairAt(s, i, n))
            ++i;
        out[written++] = '?';
    }
    return written;
}

QByteArray encodeCp1252(QStringView text)
{
    QByteArray bytes(text.size(), Qt::Uninitialized);
    bytes.truncate(encodeCp1252Into(text, bytes.data()));
    return bytes;
}

} // namespace vellumo
