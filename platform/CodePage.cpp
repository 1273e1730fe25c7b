#include "platform/CodePage.h"

#include <algorithm>
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

// For characters below U+0100: the byte, or kUnencodable for the C1 controls whose bytes
// Windows-1252 gave to other characters.
constexpr std::array<std::int16_t, 256> makeLowEncodeTable()
{
    std::array<std::int16_t, 256> table{};
    for (int c = 0; c < 256; ++c)
        table[c] = std::int16_t(c);
    for (int c = 0x80; c < 0xA0; ++c) {
        if (kHighBlock[c - 0x80] != c)
            table[c] = kUnencodable;
    }
    return table;
}

constexpr std::array<std::int16_t, 256> kEncodeLow = makeLowEncodeTable();

struct HighChar {
    char16_t ch;
    unsigned char byte;
};

constexpr int kHighCharCount = 27;

// The characters above U+00FF that have a byte, sorted for binary search.
constexpr std::array<HighChar, kHighCharCount> makeHighEncodeTable()
{
    std::array<HighChar, kHighCharCount> table{};
    int n = 0;
    for (int i = 0; i < 32; ++i) {
        if (kHighBlock[i] > 0xFF)
            table[n++] = HighChar{kHighBlock[i], static_cast<unsigned char>(0x80 + i)};
    }
    for (int i = 1; i < n; ++i) {
        for (int j = i; j > 0 && table[j - 1].ch > table[j].ch; --j) {
            const HighChar t = table[j];
            table[j] = table[j - 1];
            table[j - 1] = t;
        }
    }
    return table;
}

constexpr std::array<HighChar, kHighCharCount> kEncodeHigh = makeHighEncodeTable();

inline int encodeChar(char16_t c)
{
    if (c < 0x100)
        return kEncodeLow[c];
    const auto it = std::lower_bound(kEncodeHigh.begin(), kEncodeHigh.end(), c,
                                     [](const HighChar &e, char16_t v) { return e.ch < v; });
    return (it != kEncodeHigh.end() && it->ch == c) ? it->byte : kUnencodable;
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
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = s[i];
        if (c < 0x80)
            continue;
        if (encodeChar(c) == kUnencodable)
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
        const char16_t c = s[i];
        if (c < 0x80) {
            out[written++] = char(c);
            continue;
        }
        const int byte = encodeChar(c);
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
