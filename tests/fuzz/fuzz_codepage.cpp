// Any bytes decode and encode back to themselves; any text encodes to the character it is, or
// '?' exactly where the code page has no byte for it, and says where the first such one is.

#include "platform/files/CodePage.h"

#include <QHash>
#include <QString>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "codepage: %s\n", what);
    std::abort();
}

// Character -> byte, learnt from decoding: what the encoder must give back.
const QHash<char16_t, char> &byteOf()
{
    static const QHash<char16_t, char> table = [] {
        QHash<char16_t, char> t;
        for (int b = 0; b < 256; ++b) {
            const char byte = char(b);
            t.insert(vellumo::decodeCp1252(QByteArrayView(&byte, 1)).at(0).unicode(), byte);
        }
        return t;
    }();
    return table;
}

void bytesRoundTrip(const uint8_t *data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString text = vellumo::decodeCp1252(bytes);
    if (text.size() != bytes.size())
        fail("decoding changed the length");
    if (vellumo::firstUnencodableCp1252(text) != -1)
        fail("a decoded character counts as unencodable");
    if (vellumo::encodeCp1252(text) != bytes)
        fail("bytes did not come back");
}

void textEncodes(const uint8_t *data, size_t size)
{
    // The input as UTF-16 code units, lone surrogates and all, as typed or pasted text can be.
    QString text(qsizetype(size / 2), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i)
        text[i] = QChar(char16_t(data[2 * i] | (data[2 * i + 1] << 8)));

    QByteArray expected;
    qsizetype firstLost = -1;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        const auto known = byteOf().constFind(c);
        if (known != byteOf().cend()) {
            expected += *known;
            continue;
        }
        if (firstLost < 0)
            firstLost = i;
        expected += '?';
        // A pair is one character, and one '?'.
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
    }

    if (vellumo::firstUnencodableCp1252(text) != firstLost)
        fail("the first unencodable character was misplaced");
    if (vellumo::encodeCp1252(text) != expected)
        fail("encoding differs from the character table");
    // Exactly the room the contract promises, on the heap so that any overrun is caught.
    const auto out = std::make_unique<char[]>(size_t(text.size()) + 1);
    const qsizetype written = vellumo::encodeCp1252Into(text, out.get());
    if (written != expected.size() || std::memcmp(out.get(), expected.constData(), size_t(written)))
        fail("encoding in place differs");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    bytesRoundTrip(data, size);
    textEncodes(data, size);
    return 0;
}
