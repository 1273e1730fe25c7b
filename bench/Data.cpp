#include "Data.h"

#include "Common.h"
#include "platform/files/CodePage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <iterator>
#include <vector>

namespace vellumo::bench {

namespace {

QString kindName(Kind kind)
{
    switch (kind) {
    case Kind::Lines:
        return QStringLiteral("lines");
    case Kind::OneLine:
        return QStringLiteral("line");
    case Kind::AllBytes:
        return QStringLiteral("bytes");
    }
    return {};
}

// Prose-like ASCII: lines of 78 characters and CR LF, or the same words with no
// break at all; or every byte value, with line breaks only as CR LF so that
// the file comes back byte for byte.
QByteArray makeData(Kind kind, qint64 size)
{
    static const char *const words[] = {"the",  "quick", "brown", "fox",   "jumps",   "over",
                                        "lazy", "dog",   "text",  "file",  "line",    "editor",
                                        "of",   "and",   "again", "page",  "Vellumo", "long",
                                        "a",    "byte",  "every", "value", "print",   "save"};
    QRandomGenerator random(quint32(size) ^ quint32(kind));
    QByteArray out;
    out.reserve(size + 128);
    if (kind == Kind::AllBytes) {
        while (out.size() < size) {
            const char b = char(random.bounded(256));
            if (b == '\r' || b == '\n')
                out += "\r\n";
            else
                out += b;
        }
        out.truncate(size);
        if (out.endsWith('\r'))
            out[out.size() - 1] = 'x';
        return out;
    }
    QByteArray line;
    while (out.size() < size) {
        line.clear();
        while (line.size() < kLineBytes - 2) {
            if (!line.isEmpty())
                line += ' ';
            line += words[random.bounded(int(std::size(words)))];
        }
        line.truncate(kLineBytes - 2);
        out += line;
        out += kind == Kind::Lines ? "\r\n" : "  ";
    }
    out.truncate(size);
    if (out.endsWith('\r'))
        out[out.size() - 1] = 'x';
    return out;
}

QString byteTable()
{
    QByteArray all(256, 0);
    for (int i = 0; i < 256; ++i)
        all[i] = char(i);
    return decodeCp1252(all);
}

} // namespace

QString dataFile(const QString &dir, Kind kind, qint64 size)
{
    const QString path =
        QDir(dir).filePath(QStringLiteral("%1-%2.txt").arg(kindName(kind)).arg(size));
    if (QFileInfo(path).size() == size)
        return path;
    QDir().mkpath(dir);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(makeData(kind, size)) != size)
        fail(QStringLiteral("cannot write %1").arg(path));
    return path;
}

// The floors' own decoder and encoder: a table, one character per byte.
QString decodeFloor(const QByteArray &bytes)
{
    static const QString table = byteTable();
    QString text(bytes.size(), Qt::Uninitialized);
    QChar *out = text.data();
    const QChar *map = table.constData();
    for (const char b : bytes)
        *out++ = map[uchar(b)];
    return text;
}

QByteArray encodeFloor(const QString &text)
{
    static const std::vector<qint16> table = [] {
        std::vector<qint16> map(65536, -1);
        const QString decoded = byteTable();
        for (int i = 0; i < 256; ++i)
            map[decoded[i].unicode()] = qint16(i);
        return map;
    }();
    QByteArray bytes(text.size(), Qt::Uninitialized);
    char *out = bytes.data();
    for (const QChar c : text) {
        const qint16 b = table[c.unicode()];
        *out++ = b < 0 ? '?' : char(b);
    }
    return bytes;
}

} // namespace vellumo::bench
