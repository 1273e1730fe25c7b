#include "platform/dialogs/ProgressDialog.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProgressDialog>

namespace vellumo {

namespace {

constexpr int kShowAfterMs = 500;
// Steps closer together than this go by without a look at the events: fast enough for the
// windows to paint and a click on Cancel to tell, and no cost to the work. The last step always
// looks: what comes after it (a big text taken into the area) may take a while too.
constexpr qint64 kEventsEveryMs = 20;
constexpr int kRange = 1000;

class DialogProgress final : public Progress {
public:
    DialogProgress(QWidget *owner, const QString &label) : m_dialog(owner)
    {
        m_dialog.setWindowModality(Qt::WindowModal);
        m_dialog.setLabelText(label);
        m_dialog.setRange(0, kRange);
        m_dialog.setMinimumDuration(kShowAfterMs);
        m_dialog.setAutoReset(false);
        m_dialog.setAutoClose(false);
        m_dialog.setValue(0);
        m_sinceEvents.start();
    }

    void step(double done) override
    {
        if (m_sinceEvents.elapsed() < kEventsEveryMs && done < 1)
            return;
        m_dialog.setValue(qBound(0, int(done * kRange), kRange - 1));
        // Until the dialog shows, nothing holds the user's clicks back from the main window:
        // they wait for the work to end, as they would without the dialog.
        QCoreApplication::processEvents(m_dialog.isVisible() ? QEventLoop::AllEvents
                                                             : QEventLoop::ExcludeUserInputEvents);
        m_sinceEvents.start();
        if (m_dialog.isVisible() && !m_shown) {
            m_shown = true;
            // The dialog takes clicks: the arrow with the busy sign, not the bare hourglass.
            if (QGuiApplication::overrideCursor())
                QGuiApplication::changeOverrideCursor(Qt::BusyCursor);
        }
        if (m_dialog.wasCanceled() && !m_lockedIn)
            throw Cancelled();
    }

    void lockIn(const QString &label) override
    {
        m_lockedIn = true;
        m_dialog.setCancelButtonText(QString()); // hides it
        m_dialog.setLabelText(label);
    }

private:
    QProgressDialog m_dialog;
    QElapsedTimer m_sinceEvents;
    bool m_shown = false;
    bool m_lockedIn = false;
};

} // namespace

std::unique_ptr<Progress> DialogProgressService::start(QWidget *owner, const QString &label)
{
    return std::make_unique<DialogProgress>(owner, label);
}

} // namespace vellumo
