#include "about/AboutLayout.h"
#include "app/Identity.h"
#include "app/MainLayout.h"
#include "app/frmMain.h"
#include "platform/forms/Accessibility.h"
#include "support/MainWindowFixture.h"
#include "support/Modal.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCryptographicHash>
#include <QGroupBox>
#include <QLabel>
#include <QProcess>
#include <QSet>
#include <QTest>
#include <cstdio>
#include <tuple>

using namespace vellumo;
using namespace vellumo::test;

// The windows are measured in a child process of this program, started once
// at 100 % and once at 200 % scale (QT_SCALE_FACTOR), since the scale of a
// Qt process is fixed when it starts.

namespace {

constexpr char kMeasureArgument[] = "--measure";

// One control as the child measured it. Geometry is in device-independent
// pixels, relative to its window.
struct Control {
    QString window;
    QString name;
    QString parent; // the container's object name
    QRect rect;
    QSize text; // the space its caption needs; empty for controls without one
};

// The pixels a picture shows, and how many.
struct Picture {
    QSize pixels;
    QByteArray digest;
};

QByteArray digestOf(const QImage &image)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    return QCryptographicHash::hash(QByteArrayView(argb.constBits(), argb.sizeInBytes()),
                                    QCryptographicHash::Sha1)
        .toHex();
}

struct Measurement {
    QList<Control> controls;
    QMap<QString, Picture> pictures;   // by window and control name
    QMap<QString, QSize> windowPixels; // size of a window's picture in device pixels
    qreal ratio = 0;                   // device pixels per device-independent pixel
    QString error;
};

QString rectText(const QRect &r)
{
    return QStringLiteral("%1 %2 %3 %4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

// ---- the child: measures and prints one line per control

void measureWindow(const QString &name, QWidget *window)
{
    const QPixmap picture = window->grab();
    std::printf("window\t%s\t%d %d\t%g\n", qPrintable(name), picture.width(), picture.height(),
                picture.devicePixelRatio());
    const QList<QWidget *> widgets = window->findChildren<QWidget *>();
    for (QWidget *w : widgets) {
        // Only the controls of the layout, not the inner parts of Qt's widgets.
        if (w->objectName().isEmpty() || w->objectName().startsWith(QLatin1String("qt_")) ||
            !w->isVisible() || w->isWindow())
            continue;
        QString caption;
        if (auto *button = qobject_cast<QAbstractButton *>(w))
            caption = spokenCaption(button->text());
        else if (auto *label = qobject_cast<QLabel *>(w))
            caption = label->text();
        else if (auto *frame = qobject_cast<QGroupBox *>(w))
            caption = spokenCaption(frame->title());
        QSize text;
        if (!caption.isEmpty())
            text = QSize(w->fontMetrics().horizontalAdvance(caption), w->fontMetrics().height());
        if (auto *label = qobject_cast<QLabel *>(w); label && !label->pixmap().isNull()) {
            const QImage image = label->pixmap().toImage();
            std::printf("picture\t%s\t%s\t%d %d\t%s\n", qPrintable(name),
                        qPrintable(w->objectName()), image.width(), image.height(),
                        digestOf(image).constData());
        }
        const QRect rect(w->mapTo(window, QPoint(0, 0)), w->size());
        std::printf("control\t%s\t%s\t%s\t%s\t%d %d\n", qPrintable(name),
                    qPrintable(w->objectName()), qPrintable(w->parentWidget()->objectName()),
                    qPrintable(rectText(rect)), text.width(), text.height());
    }
}

} // namespace

// The child's one test, on the shared fixture: it fails, and so does the
// child, if a window does not come up or is left open.
class Measuring : public MainWindowFixture {
    Q_OBJECT
private Q_SLOTS:
    void init() { QVERIFY(open()); }
    void cleanup() { close(); }

    void measure()
    {
        measureWindow(QStringLiteral("main"), window.get());
        auto ran =
            whenModal([](QWidget *dialog) { measureWindow(QStringLiteral("about"), dialog); });
        window->ShowAbout();
        std::fflush(stdout);
        QVERIFY2(*ran, "the About dialog did not open");
    }
};

namespace {

// ---- the parent

Measurement measureAt(const QString &scale)
{
    Measurement m;
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_SCALE_FACTOR"), scale);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(kMeasureArgument)});
    if (!child.waitForFinished(120000) || child.exitStatus() != QProcess::NormalExit ||
        child.exitCode() != 0) {
        child.kill();
        m.error = QStringLiteral("the child at scale %1 failed (%2): %3%4")
                      .arg(scale)
                      .arg(child.exitCode())
                      .arg(QString::fromLocal8Bit(child.readAllStandardOutput()),
                           QString::fromLocal8Bit(child.readAllStandardError()));
        return m;
    }
    const QStringList lines =
        QString::fromUtf8(child.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    auto numbers = [](const QString &field) {
        QList<int> out;
        for (const QString &n : field.split(u' '))
            out << n.toInt();
        return out;
    };
    for (const QString &line : lines) {
        const QStringList f = line.split(u'\t');
        if (f[0] == QLatin1String("window") && f.size() == 4) {
            const QList<int> size = numbers(f[2]);
            m.windowPixels.insert(f[1], QSize(size[0], size[1]));
            m.ratio = f[3].toDouble();
        } else if (f[0] == QLatin1String("picture") && f.size() == 5) {
            const QList<int> size = numbers(f[3]);
            m.pictures.insert(f[1] + u'/' + f[2], {QSize(size[0], size[1]), f[4].toLatin1()});
        } else if (f[0] == QLatin1String("control") && f.size() == 6) {
            const QList<int> r = numbers(f[4]);
            const QList<int> t = numbers(f[5]);
            m.controls << Control{f[1], f[2], f[3], QRect(r[0], r[1], r[2], r[3]),
                                  QSize(t[0], t[1])};
        }
    }
    if (m.controls.isEmpty())
        m.error = QStringLiteral("the child at scale %1 measured nothing").arg(scale);
    return m;
}

// The layout's own overlaps, in twips: pairs of controls of one container
// whose stored rectangles meet. Only these may overlap on screen.
QSet<QString> storedOverlaps(const std::vector<ControlEntry> &entries)
{
    auto rect = [](const ControlEntry &s) {
        if (s.kind == ControlKind::Line) // x1, y1, x2, y2, and a width in pixels
            return QRect(s.left, s.top, s.width - s.left + 1, s.lineWidth * kTwipsPerPixel);
        return QRect(s.left, s.top, s.width, s.height);
    };
    QSet<QString> pairs;
    for (std::size_t i = 0; i < entries.size(); ++i)
        for (std::size_t j = i + 1; j < entries.size(); ++j)
            if (qstrcmp(entries[i].container, entries[j].container) == 0 &&
                rect(entries[i]).intersects(rect(entries[j])))
                pairs << QStringLiteral("%1/%2").arg(entries[i].name, entries[j].name);
    return pairs;
}

} // namespace

class HighDpiTest : public QObject {
    Q_OBJECT

    Measurement normal, doubled;

    // The n-th control of that name in that window.
    static const Control *find(const Measurement &m, const QString &window, const QString &name,
                               int n)
    {
        for (const Control &c : m.controls)
            if (c.window == window && c.name == name && n-- == 0)
                return &c;
        return nullptr;
    }
    static const Control *parentOf(const Measurement &m, const Control &c)
    {
        return find(m, c.window, c.parent, 0);
    }

private Q_SLOTS:
    void initTestCase()
    {
        normal = measureAt(QStringLiteral("1"));
        QVERIFY2(normal.error.isEmpty(), qPrintable(normal.error));
        doubled = measureAt(QStringLiteral("2"));
        QVERIFY2(doubled.error.isEmpty(), qPrintable(doubled.error));
    }

    void windowsArePaintedWithTwiceThePixels()
    {
        QCOMPARE(normal.ratio, 1.0);
        QCOMPARE(doubled.ratio, 2.0);
        QCOMPARE(normal.windowPixels.keys(), (QList<QString>{"about", "main"}));
        for (const QString &window : normal.windowPixels.keys())
            QCOMPARE(doubled.windowPixels.value(window), normal.windowPixels.value(window) * 2);
    }

    // One row per control that the child found at 100 %.
    void eachControlScalesWithTheWholeAndIsNotCut_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("n");
        QMap<QString, int> seen;
        for (const Control &c : normal.controls) {
            const int n = seen[c.window + c.name]++;
            QTest::addRow("%s %s %d", qPrintable(c.window), qPrintable(c.name), n)
                << c.window << c.name << n;
        }
    }
    void eachControlScalesWithTheWholeAndIsNotCut()
    {
        QFETCH(QString, window);
        QFETCH(QString, name);
        QFETCH(int, n);
        const Control *atOne = find(normal, window, name, n);
        const Control *atTwo = find(doubled, window, name, n);
        QVERIFY(atOne);
        QVERIFY2(atTwo, "missing at 200 %");
        // Same place in device-independent pixels: twice the device pixels.
        QCOMPARE(atTwo->rect, atOne->rect);
        for (const auto &[scale, m, c] :
             {std::tuple{"100 %", &normal, atOne}, std::tuple{"200 %", &doubled, atTwo}}) {
            // Inside its container, or inside its window.
            const Control *parent = parentOf(*m, *c);
            const QRect room =
                parent ? parent->rect
                       : QRect(QPoint(0, 0), m->windowPixels.value(c->window) / m->ratio);
            QVERIFY2(room.contains(c->rect),
                     qPrintable(QStringLiteral("cut by %1 at %2").arg(c->parent, scale)));
            if (!c->text.isEmpty())
                QVERIFY2(c->text.width() <= c->rect.width() && c->text.height() <= c->rect.height(),
                         qPrintable(QStringLiteral("text of %1 by %2 cut at %3")
                                        .arg(c->text.width())
                                        .arg(c->text.height())
                                        .arg(scale)));
        }
        // The font grows with the layout, so the caption needs the same room.
        QVERIFY(qAbs(atTwo->text.width() - atOne->text.width()) <= 1);
        QVERIFY(qAbs(atTwo->text.height() - atOne->text.height()) <= 1);
    }

    // At 200 % a picture shows the icon's own 64 pixel drawing, not the 32 pixel one scaled up.
    void picturesUseTheirOwnPixelsAtEachScale()
    {
        int checked = 0;
        for (const auto &[window, entries] :
             {std::pair{"main", &mainLayout()}, std::pair{"about", &aboutLayout()}})
            for (const ControlEntry &entry : *entries) {
                if (!entry.picture)
                    continue;
                for (const Measurement *m : {&normal, &doubled}) {
                    const int pixels = int(32 * m->ratio);
                    const QString key = QStringLiteral("%1/%2").arg(QLatin1String(window),
                                                                    QLatin1String(entry.name));
                    QVERIFY2(m->pictures.contains(key), qPrintable(key));
                    const Picture shown = m->pictures.value(key);
                    QCOMPARE(shown.pixels, QSize(pixels, pixels));
                    const QImage own(
                        QStringLiteral("%1-%2.png").arg(QLatin1String(entry.picture)).arg(pixels));
                    QVERIFY2(!own.isNull(), entry.picture);
                    QCOMPARE(shown.digest, digestOf(own));
                    ++checked;
                }
            }
        QCOMPARE(checked, 6); // two pictures in the main window, one in the dialog, each twice
    }

    void nothingOverlapsThatTheLayoutKeepsApart()
    {
        QSet<QString> allowed = storedOverlaps(mainLayout()) + storedOverlaps(aboutLayout());
        for (const Measurement *m : {&normal, &doubled}) {
            QStringList unexpected;
            for (int i = 0; i < m->controls.size(); ++i)
                for (int j = i + 1; j < m->controls.size(); ++j) {
                    const Control &a = m->controls[i], &b = m->controls[j];
                    if (a.window != b.window || a.parent != b.parent || !a.rect.intersects(b.rect))
                        continue;
                    if (!allowed.contains(a.name + u'/' + b.name) &&
                        !allowed.contains(b.name + u'/' + a.name))
                        unexpected << a.name + QStringLiteral(" and ") + b.name;
                }
            QVERIFY2(unexpected.isEmpty(), qPrintable(unexpected.join(QStringLiteral(", "))));
        }
    }
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    applyIdentity(app);
    if (argc > 1 && qstrcmp(argv[1], kMeasureArgument) == 0) {
        Measuring measuring;
        return QTest::qExec(&measuring,
                            {QString::fromLocal8Bit(argv[0]), QStringLiteral("-silent")});
    }
    HighDpiTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_highdpi.moc"
