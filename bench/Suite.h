#pragma once
// The parent: runs every figure's two sides in children, side by side, and
// reports them as a Markdown table and as JSON.

#include "Data.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <map>
#include <vector>

namespace vellumo::bench {

constexpr qint64 kMB = 1024 * 1024;

struct Options {
    bool quick = false;
    int runs = 3;
    QRegularExpression only;
    QString data;
    QString json;
    QString readme; // its table between the marker lines is rewritten
};

struct Runs {
    std::vector<double> ms, worst, peakKb, gap;
    int pages = -1;
    QJsonObject more; // the last run's further numbers
};

struct Row {
    Row(QString figure, double vellumo, double floor, QString floorIs, double target,
        QString targetText, double peakMb, QString unit = QStringLiteral("ms"))
        : figure(std::move(figure)), vellumo(vellumo), floor(floor), floorIs(std::move(floorIs)),
          target(target), targetText(std::move(targetText)), peakMb(peakMb), unit(std::move(unit))
    {
        // A target of "< N unit" without a ratio holds for the figure itself.
        if (target <= 0 && this->targetText.startsWith(QLatin1String("< ")))
            limit = this->targetText.mid(2).section(u' ', 0, 0).toDouble();
    }
    QString figure;
    double vellumo; // ms, or MB for memory
    double floor;
    QString floorIs;
    double target;    // the ratio to stay under; 0: for information
    double limit = 0; // instead, a ceiling in the row's own unit
    QString targetText;
    double peakMb;
    QString unit;
    QJsonObject detail;
    double ratio() const { return floor > 0 ? vellumo / floor : 0; }
    bool met() const { return limit > 0 ? vellumo < limit : target <= 0 || ratio() < target; }
};

// One command of "commands on a big text" at one size: medians across the runs, each figure
// beside its floor.
struct CommandRow {
    QString size, command;
    double unanswered = 0, worstUnanswered = 0, wall = 0; // the floor of unanswered
    double cpu = 0, cpuFloor = 0;                         // reading and decoding alone
    double added = 0, stays = 0, memoryFloor = 0;         // MB; the text held once
    double addedLimit = 0; // the most it may add, over the floor; 0: for information
    QString targetText;
    QJsonObject detail;
    bool met() const;
};

QJsonArray toJson(const std::vector<double> &v);
void append(Runs &to, const Runs &from);

class Suite {
public:
    explicit Suite(Options options) : m_o(std::move(options)) {}

    // The figures, in the order of the table.
    int run();

private:
    bool wanted(const QString &figure) const
    {
        return !m_o.only.isValid() || m_o.only.pattern().isEmpty() ||
               m_o.only.match(figure).hasMatch();
    }
    Runs measure(const QStringList &args, int runs);
    void pair(const QString &figure, const QStringList &vellumo, const QStringList &floor,
              const QString &floorIs, double target, const QString &targetText);
    void add(Row row) { m_rows.push_back(std::move(row)); }
    void startUp();
    void paintGaps(const QString &command, qint64 size);
    void scrollBar();
    void commands(qint64 size);
    QString commandTable() const;
    QString table() const;
    void writeReadme(const QString &table) const;
    void writeJson() const;
    QString file(Kind kind, qint64 size) { return dataFile(m_o.data, kind, size); }
    qint64 mb(qint64 full) const { return m_o.quick ? full * 16 * 1024 : full * kMB; }
    QString sizeText(qint64 full) const
    {
        return m_o.quick ? QStringLiteral("%1 KB").arg(full * 16)
                         : QStringLiteral("%1 MB").arg(full);
    }

    Options m_o;
    std::vector<Row> m_rows;
    std::vector<CommandRow> m_commandRows;
    std::map<QString, Runs> m_measured;
    bool m_failed = false;
};

} // namespace vellumo::bench
