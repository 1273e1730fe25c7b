#include "Suite.h"

#include "Common.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <algorithm>
#include <cmath>
#include <optional>
#include <tuple>

namespace vellumo::bench {

namespace {

std::optional<QJsonObject> spawn(const QStringList &args, bool quick)
{
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // The real window on a real X server where there is one, as a user meets it.
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), qEnvironmentVariableIsEmpty("DISPLAY")
                                                      ? QStringLiteral("offscreen")
                                                      : QStringLiteral("xcb"));
    if (quick)
        env.insert(QStringLiteral("VELLUMO_BENCH_QUICK"), QStringLiteral("1"));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(),
                QStringList{QStringLiteral("--child")} + args);
    if (!child.waitForFinished(-1) || child.exitStatus() != QProcess::NormalExit ||
        child.exitCode() != 0) {
        QTextStream(stderr) << "vellumo_bench: " << args.join(u' ') << " failed\n";
        return std::nullopt;
    }
    const QList<QByteArray> lines = child.readAllStandardOutput().trimmed().split('\n');
    return QJsonDocument::fromJson(lines.last()).object();
}

QString machine()
{
    QString cpu;
    QFile info(QStringLiteral("/proc/cpuinfo"));
    if (info.open(QIODevice::ReadOnly))
        for (const QByteArray &line : info.readAll().split('\n'))
            if (line.startsWith("model name")) {
                cpu = QString::fromLatin1(line.mid(line.indexOf(':') + 1).trimmed());
                break;
            }
    qint64 memKb = 0;
    QFile mem(QStringLiteral("/proc/meminfo"));
    if (mem.open(QIODevice::ReadOnly))
        memKb = mem.readLine().simplified().split(' ').value(1).toLongLong();
    return QStringLiteral("%1, %2 cores, %3 GiB, %4 %5, Qt %6")
        .arg(cpu)
        .arg(QThread::idealThreadCount())
        .arg(double(memKb) / (1024 * 1024), 0, 'f', 0)
        .arg(QSysInfo::prettyProductName(), QSysInfo::kernelVersion(),
             QString::fromLatin1(qVersion()));
}

QString shown(double value, const QString &unit)
{
    if (unit == QLatin1String("%"))
        return QStringLiteral("%1 %").arg(value, 0, 'f', 2);
    if (unit != QLatin1String("ms"))
        return QStringLiteral("%1 %2").arg(value, 0, 'f', 0).arg(unit);
    if (value >= 1000)
        return QStringLiteral("%1 s").arg(value / 1000, 0, 'f', 2);
    return QStringLiteral("%1 ms").arg(value, 0, 'f', value < 10 ? 2 : 0);
}

} // namespace

void append(Runs &to, const Runs &from)
{
    to.ms.insert(to.ms.end(), from.ms.begin(), from.ms.end());
    to.worst.insert(to.worst.end(), from.worst.begin(), from.worst.end());
    to.peakKb.insert(to.peakKb.end(), from.peakKb.begin(), from.peakKb.end());
    to.gap.insert(to.gap.end(), from.gap.begin(), from.gap.end());
    if (from.pages >= 0)
        to.pages = from.pages;
}

QJsonArray toJson(const std::vector<double> &v)
{
    QJsonArray a;
    for (double x : v)
        a.append(x);
    return a;
}

Runs Suite::measure(const QStringList &args, int runs)
{
    Runs r;
    for (int i = 0; i < runs; ++i) {
        const auto json = spawn(args, m_o.quick);
        if (!json) {
            m_failed = true;
            break;
        }
        r.ms.push_back((*json)[QStringLiteral("ms")].toDouble());
        r.peakKb.push_back((*json)[QStringLiteral("peak_kb")].toDouble());
        if (json->contains(QStringLiteral("worst_ms")))
            r.worst.push_back((*json)[QStringLiteral("worst_ms")].toDouble());
        if (json->contains(QStringLiteral("gap_ms")))
            r.gap.push_back((*json)[QStringLiteral("gap_ms")].toDouble());
        if (json->contains(QStringLiteral("pages")))
            r.pages = (*json)[QStringLiteral("pages")].toInt();
        r.more = *json;
    }
    return r;
}

void Suite::pair(const QString &figure, const QStringList &vellumo, const QStringList &floor,
                 const QString &floorIs, double target, const QString &targetText)
{
    if (!wanted(figure))
        return;
    QTextStream(stderr) << "measuring " << figure << '\n';
    // Alternate the two sides run by run, so that a noisy moment hits both
    // alike; a side already measured for another figure is not run again.
    Runs &v = m_measured[vellumo.join(u' ')];
    Runs &f = m_measured[floor.join(u' ')];
    const bool needV = int(v.ms.size()) < m_o.runs;
    const bool needF = int(f.ms.size()) < m_o.runs;
    for (int i = 0; i < m_o.runs; ++i) {
        if (needV)
            append(v, measure(vellumo, 1));
        if (needF)
            append(f, measure(floor, 1));
    }

    Row row{
        figure, median(v.ms), median(f.ms), floorIs, target, targetText, median(v.peakKb) / 1024.0};
    row.detail = QJsonObject{{QStringLiteral("vellumo_ms"), toJson(v.ms)},
                             {QStringLiteral("floor_ms"), toJson(f.ms)},
                             {QStringLiteral("vellumo_peak_kb"), toJson(v.peakKb)},
                             {QStringLiteral("floor_peak_kb"), toJson(f.peakKb)}};
    if (v.pages >= 0)
        row.detail[QStringLiteral("vellumo_pages")] = v.pages;
    if (f.pages >= 0)
        row.detail[QStringLiteral("floor_pages")] = f.pages;
    if (!v.worst.empty()) {
        // Typing: the median run's median key, and the worst key of all runs.
        row.figure = figure + QStringLiteral(", median key");
        add(row);
        Row worst = row;
        worst.figure = figure + QStringLiteral(", worst key");
        worst.vellumo = *std::max_element(v.worst.begin(), v.worst.end());
        worst.floor = *std::max_element(f.worst.begin(), f.worst.end());
        worst.target = 0;
        worst.limit = 50;
        worst.targetText = QStringLiteral("< 50 ms");
        worst.detail = QJsonObject{{QStringLiteral("vellumo_worst_ms"), toJson(v.worst)},
                                   {QStringLiteral("floor_worst_ms"), toJson(f.worst)}};
        add(worst);
        return;
    }
    add(row);
}

void Suite::paintGaps(const QString &command, qint64 size)
{
    const QString figure = QStringLiteral("%1 %2, longest paint gap").arg(command, sizeText(size));
    if (!wanted(figure))
        return;
    QTextStream(stderr) << "measuring " << figure << '\n';
    const QString path = file(Kind::Lines, mb(size));
    Runs &v = m_measured[command + QStringLiteral("-gaps ") + path];
    for (int i = 0; i < m_o.runs; ++i)
        append(v, measure({command + QStringLiteral("-gaps"), path}, 1));
    if (v.gap.empty())
        return;
    Row row{figure,
            *std::max_element(v.gap.begin(), v.gap.end()),
            median(v.ms),
            QStringLiteral("the %1 to idle, while the window paints").arg(command),
            0,
            QStringLiteral("\u2264 100 ms"),
            median(v.peakKb) / 1024.0};
    row.limit = 100.5;
    row.detail = QJsonObject{{QStringLiteral("vellumo_gap_ms"), toJson(v.gap)},
                             {QStringLiteral("whole_ms"), toJson(v.ms)}};
    add(row);
}

void Suite::startUp()
{
    if (!wanted(QStringLiteral("start-up")))
        return;
    QTextStream(stderr) << "measuring start-up\n";
    const QString dir = QCoreApplication::applicationDirPath();
    const QString vellumo = dir + QStringLiteral("/vellumo_firstpaint");
    const QString bare = dir + QStringLiteral("/bare_firstpaint");
    const bool display = !qEnvironmentVariableIsEmpty("DISPLAY");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"),
               display ? QStringLiteral("xcb") : QStringLiteral("offscreen"));

    QProcess size;
    size.setProcessEnvironment(env);
    size.start(vellumo, {QStringLiteral("--print-size")});
    if (!size.waitForFinished(60000) || size.exitCode() != 0) {
        m_failed = true;
        QTextStream(stderr) << "vellumo_bench: vellumo_firstpaint failed\n";
        return;
    }
    const QStringList wh =
        QString::fromLatin1(size.readAllStandardOutput()).simplified().split(u' ');
    const QStringList bareArgs{wh.value(0), wh.value(1)};

    Row row{QStringLiteral("start-up to first paint"),
            0,
            0,
            QStringLiteral("empty Qt Widgets window of the same size"),
            0,
            QStringLiteral("for information"),
            0};
    const QString hyperfine = QStandardPaths::findExecutable(QStringLiteral("hyperfine"));
    const int runs = m_o.quick ? 1 : std::max(10, m_o.runs);
    if (!hyperfine.isEmpty() && display && !m_o.quick) {
        QTemporaryDir tmp;
        const QString out = tmp.filePath(QStringLiteral("hyperfine.json"));
        QProcess h;
        h.setProcessEnvironment(env);
        h.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        h.start(hyperfine,
                {QStringLiteral("-N"), QStringLiteral("--warmup"), QStringLiteral("3"),
                 QStringLiteral("--runs"), QString::number(runs), QStringLiteral("--export-json"),
                 out, vellumo, bare + u' ' + bareArgs.join(u' ')});
        h.waitForFinished(-1);
        const QJsonArray results =
            QJsonDocument::fromJson(readFile(out)).object()[QStringLiteral("results")].toArray();
        if (h.exitCode() != 0 || results.size() != 2) {
            m_failed = true;
            QTextStream(stderr) << "vellumo_bench: hyperfine failed\n";
            return;
        }
        row.vellumo = results[0].toObject()[QStringLiteral("median")].toDouble() * 1000;
        row.floor = results[1].toObject()[QStringLiteral("median")].toDouble() * 1000;
        row.detail[QStringLiteral("measured_by")] = QStringLiteral("hyperfine");
    } else {
        std::vector<double> v, f;
        for (int i = 0; i < runs; ++i) {
            for (auto [program, args, into] :
                 {std::tuple{vellumo, QStringList{}, &v}, std::tuple{bare, bareArgs, &f}}) {
                QProcess p;
                p.setProcessEnvironment(env);
                const double start = nowMs();
                p.start(program, args);
                if (!p.waitForFinished(60000) || p.exitCode() != 0) {
                    m_failed = true;
                    QTextStream(stderr) << "vellumo_bench: " << program << " failed\n";
                    return;
                }
                into->push_back(nowMs() - start);
            }
        }
        row.vellumo = median(v);
        row.floor = median(f);
        row.detail[QStringLiteral("measured_by")] = QStringLiteral("own loop");
    }
    row.detail[QStringLiteral("platform")] = env.value(QStringLiteral("QT_QPA_PLATFORM"));
    add(row);
}

QString Suite::table() const
{
    QString text;
    QTextStream out(&text);
    QStringList partial;
    if (m_o.quick)
        partial << QStringLiteral("quick mode: small data, nothing judged");
    if (!m_o.only.pattern().isEmpty())
        partial << QStringLiteral("only the figures matching `%1`").arg(m_o.only.pattern());
    if (!partial.isEmpty())
        out << "**Partial run** (" << partial.join(QStringLiteral("; ")) << ").\n\n";
    out << "Machine: " << machine() << "\n\n";
    out << "Date: " << QDateTime::currentDateTimeUtc().toString(Qt::ISODate)
        << "; runs per figure: " << m_o.runs << "\n\n";
    out << "| figure | Vellumo | floor | floor is | ratio | target | met | peak memory |\n";
    out << "|---|---:|---:|---|---:|---|:-:|---:|\n";
    for (const Row &r : m_rows) {
        out << "| " << r.figure << " | " << shown(r.vellumo, r.unit) << " | "
            << shown(r.floor, r.unit) << " | " << r.floorIs << " | "
            << QString::number(r.ratio(), 'f', 2) << "x | " << r.targetText << " | "
            << (m_o.quick || !(r.target > 0 || r.limit > 0) ? ""
                : r.met()                                   ? "yes"
                                                            : "**no**")
            << " | "
            << (r.peakMb > 0 ? QString::number(r.peakMb, 'f', 0) + QStringLiteral(" MB")
                             : QString())
            << " |\n";
    }
    if (!m_commandRows.empty())
        out << '\n' << commandTable();
    return text;
}

QString Suite::commandTable() const
{
    QString text;
    QTextStream out(&text);
    out << "### Commands on a big text\n\n";
    out << "Each command as a user gives it, measured from outside the program's process; "
           "medians of the runs. The floors: the command's own time from the input to idle, "
           "reading and decoding the file alone, the text held once (2 bytes a character).\n\n";
    out << "| command | size | unanswered | to idle | ratio | CPU | reading | ratio "
           "| memory added | stays | text once | ratios | target | met |\n";
    out << "|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---|:-:|\n";
    auto ratio = [](double v, double floor) {
        return QString::number(floor > 0 ? v / floor : 0, 'f', 2) + u'x';
    };
    const QString ms = QStringLiteral("ms");
    auto mb = [](double v) {
        return shown(std::round(v) == 0 ? 0 : v, QStringLiteral("MB"));
    };
    for (const CommandRow &r : m_commandRows)
        out << "| " << r.command << " | " << r.size << " | " << shown(r.unanswered, ms) << " | "
            << shown(r.wall, ms) << " | " << ratio(r.unanswered, r.wall) << " | "
            << shown(r.cpu, ms) << " | " << shown(r.cpuFloor, ms) << " | "
            << ratio(r.cpu, r.cpuFloor) << " | " << mb(r.added) << " | " << mb(r.stays) << " | "
            << mb(r.memoryFloor) << " | " << ratio(r.added, r.memoryFloor) << " / "
            << ratio(r.stays, r.memoryFloor) << " | " << r.targetText << " | "
            << (m_o.quick ? ""
                : r.met() ? "yes"
                          : "**no**")
            << " |\n";
    return text;
}

// Only what lies between the marker lines is the run's; the prose around them is kept.
void Suite::writeReadme(const QString &table) const
{
    if (m_failed) {
        QTextStream(stderr) << "a figure failed: " << m_o.readme << " left as it was\n";
        return;
    }
    const QByteArray begin = "\n<!-- table: written by bench/run.sh -->\n";
    const QByteArray end = "\n<!-- end of table -->\n";
    QByteArray text = readFile(m_o.readme);
    const qsizetype from = text.indexOf(begin);
    const qsizetype start = from + begin.size();
    const qsizetype to = from < 0 ? -1 : text.indexOf(end, start - 1);
    if (to < 0)
        fail(QStringLiteral("%1 has no table markers").arg(m_o.readme));
    text.replace(start, to + 1 - start, '\n' + table.toUtf8() + '\n');
    QSaveFile file(m_o.readme);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) < 0 || !file.commit())
        fail(QStringLiteral("cannot write %1").arg(m_o.readme));
    QTextStream(stderr) << "wrote the table into " << m_o.readme << '\n';
}

void Suite::writeJson() const
{
    QJsonArray rows;
    for (const Row &r : m_rows) {
        QJsonObject o = r.detail;
        o[QStringLiteral("figure")] = r.figure;
        o[QStringLiteral("vellumo")] = r.vellumo;
        o[QStringLiteral("floor")] = r.floor;
        o[QStringLiteral("unit")] = r.unit;
        o[QStringLiteral("floor_is")] = r.floorIs;
        o[QStringLiteral("ratio")] = r.ratio();
        o[QStringLiteral("target")] = r.targetText;
        o[QStringLiteral("peak_mb")] = r.peakMb;
        rows.append(o);
    }
    QJsonArray commands;
    for (const CommandRow &r : m_commandRows) {
        QJsonObject o = r.detail;
        o[QStringLiteral("command")] = r.command;
        o[QStringLiteral("size")] = r.size;
        o[QStringLiteral("unanswered_ms")] = r.unanswered;
        o[QStringLiteral("to_idle_ms")] = r.wall;
        o[QStringLiteral("cpu_ms")] = r.cpu;
        o[QStringLiteral("reading_ms")] = r.cpuFloor;
        o[QStringLiteral("added_mb")] = r.added;
        o[QStringLiteral("stays_mb")] = r.stays;
        o[QStringLiteral("text_once_mb")] = r.memoryFloor;
        o[QStringLiteral("target")] = r.targetText;
        o[QStringLiteral("met")] = r.met();
        commands.append(o);
    }
    const QJsonObject root{
        {QStringLiteral("machine"), machine()},
        {QStringLiteral("date"), QDateTime::currentDateTimeUtc().toString(Qt::ISODate)},
        {QStringLiteral("runs"), m_o.runs},
        {QStringLiteral("quick"), m_o.quick},
        {QStringLiteral("figures"), rows},
        {QStringLiteral("commands"), commands}};
    QFile file(m_o.json);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(QJsonDocument(root).toJson()) < 0)
        fail(QStringLiteral("cannot write %1").arg(m_o.json));
    QTextStream(stderr) << "wrote " << m_o.json << '\n';
}

} // namespace vellumo::bench
