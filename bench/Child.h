#pragma once
// The child process: measures one side of one figure and prints it as JSON.
//
//   vellumo_bench --child WHAT PATH [WHERE KEYS]

#include <QJsonObject>
#include <QString>

namespace vellumo::bench {

int childMain(int argc, char *argv[]);

struct Result {
    Result(double ms = 0, double worst = -1, int pages = -1) : ms(ms), worst(worst), pages(pages) {}
    double ms; // or the figure's own unit
    double worst;
    int pages;
    QJsonObject more; // a figure's further numbers, passed on as they are
};

// What the parent asked for. `out` is where a figure may write; it is removed after.
struct Job {
    QString path;
    QString where;
    int keys;
    QString out;
};

// Commands on a big text, driven from the parent through the X server (CommandChild.cpp).
int commandsChild(const QString &path);

// Dragging the scroll bar and how true its thumb is (ScrollFigures.cpp).
Result vellumoThumb(const Job &job);
Result vellumoDrag(const Job &job);
Result bareDrag(const Job &job);

} // namespace vellumo::bench
