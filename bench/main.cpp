// Vellumo's benchmark suite. Every figure is timed beside a floor measured in
// the same run on the same data, each run in a fresh child process so that
// its peak memory is its own. Prints a Markdown table and writes it as JSON.
//
//   vellumo_bench [--quick] [--runs N] [--only REGEX] [--data DIR] [--json PATH]
//                 [--readme PATH]

#include "Child.h"
#include "Suite.h"

#include <QCoreApplication>
#include <QTextStream>
#include <algorithm>
#include <iterator>

using namespace vellumo::bench;

namespace {

struct Flag {
    const char *name;
    bool takesValue;
    void (*apply)(Options &o, const QString &value);
};

// Each applies as it comes on the line, so that a --runs after --quick wins.
constexpr Flag kFlags[] = {
    {"--quick", false,
     [](Options &o, const QString &) {
         o.quick = true;
         o.runs = 1;
     }},
    {"--runs", true,
     [](Options &o, const QString &v) {
         o.runs = std::max(1, v.toInt());
     }},
    {"--only", true,
     [](Options &o, const QString &v) {
         o.only = QRegularExpression(v);
     }},
    {"--data", true,
     [](Options &o, const QString &v) {
         o.data = v;
     }},
    {"--json", true,
     [](Options &o, const QString &v) {
         o.json = v;
     }},
    {"--readme", true,
     [](Options &o, const QString &v) {
         o.readme = v;
     }},
};

} // namespace

int main(int argc, char *argv[])
{
    if (argc > 1 && qstrcmp(argv[1], "--child") == 0)
        return childMain(argc, argv);

    QCoreApplication parent(argc, argv);
    Options o;
    const QStringList args = QCoreApplication::arguments();
    for (int i = 1; i < args.size(); ++i) {
        const auto flag = std::find_if(std::begin(kFlags), std::end(kFlags), [&](const Flag &f) {
            return args[i] == QLatin1String(f.name);
        });
        if (flag == std::end(kFlags)) {
            QTextStream(stderr) << "usage: vellumo_bench [--quick] [--runs N] [--only REGEX] "
                                   "[--data DIR] [--json PATH] [--readme PATH]\n";
            return 2;
        }
        flag->apply(o, args.value(i + 1));
        if (flag->takesValue)
            ++i;
    }
    if (o.data.isEmpty())
        o.data = QCoreApplication::applicationDirPath() + QStringLiteral("/bench-data");
    if (o.json.isEmpty())
        o.json = QStringLiteral("results.json");
    return Suite(o).run();
}
