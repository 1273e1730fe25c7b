// Vellumo's benchmark suite. Every figure is timed beside a floor measured in
// the same run on the same data, each run in a fresh child process so that
// its peak memory is its own. Prints a Markdown table and writes it as JSON.
// vellumo_bench --help lists the options.

#include "Child.h"
#include "Suite.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <algorithm>

using namespace vellumo::bench;

int main(int argc, char *argv[])
{
    if (argc > 1 && qstrcmp(argv[1], "--child") == 0)
        return childMain(argc, argv);

    QCoreApplication parent(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Times every figure beside its floor, prints the table and writes it as JSON."));
    parser.addHelpOption();
    const QCommandLineOption quick(QStringLiteral("quick"),
                                   QStringLiteral("Small data, one run, nothing judged."));
    const QCommandLineOption runs(QStringLiteral("runs"),
                                  QStringLiteral("Runs per figure (3, or 1 with --quick)."),
                                  QStringLiteral("N"));
    const QCommandLineOption only(QStringLiteral("only"),
                                  QStringLiteral("Only the figures whose name matches."),
                                  QStringLiteral("REGEX"));
    const QCommandLineOption data(QStringLiteral("data"), QStringLiteral("Where the data is made."),
                                  QStringLiteral("DIR"),
                                  QCoreApplication::applicationDirPath() + "/bench-data");
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("Where the JSON goes."),
                                  QStringLiteral("PATH"), QStringLiteral("results.json"));
    const QCommandLineOption readme(
        QStringLiteral("readme"),
        QStringLiteral("A Markdown file whose table between the marker lines is rewritten."),
        QStringLiteral("PATH"));
    parser.addOptions({quick, runs, only, data, json, readme});
    parser.process(parent);
    if (!parser.positionalArguments().isEmpty())
        parser.showHelp(2);

    Options o;
    o.quick = parser.isSet(quick);
    if (parser.isSet(runs))
        o.runs = std::max(1, parser.value(runs).toInt());
    else if (o.quick)
        o.runs = 1;
    if (parser.isSet(only))
        o.only = QRegularExpression(parser.value(only));
    o.data = parser.value(data);
    o.json = parser.value(json);
    o.readme = parser.value(readme);
    return Suite(o).run();
}
