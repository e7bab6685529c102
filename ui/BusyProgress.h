#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QString>

#include <functional>

class QDialog;
class QProgressBar;
class QWidget;

// What the user sees while a long command runs on the window's thread: the wait pointer at once,
// the window still painted, and once the work has taken a moment (300 ms), a window-modal
// progress dialog. Commands that run in one transaction offer Cancel: the work stops at its next
// step and rolls back. The dialog stays up until the command is over, so nothing else can start
// in the window meanwhile.
class BusyProgress
{
public:
    // With an empty cancelText the dialog has no Cancel button and cannot be closed.
    BusyProgress(QWidget* parent, const QString& label, const QString& cancelText = {});
    ~BusyProgress();
    BusyProgress(const BusyProgress&) = delete;
    BusyProgress& operator=(const BusyProgress&) = delete;

    // Reports done of total (total 0: the amount is unknown, the bar just moves). False once the
    // user has cancelled. Cheap enough to call for every row.
    bool Step(qint64 done, qint64 total);
    bool Cancelled() const { return m_cancelled; }
    // Ends the feedback before the object goes: the dialog closes, the pointer comes back.
    void Finish();
    // Step as the callback the store and exchange functions take.
    std::function<bool(qint64, qint64)> Callback();

    // How long the work runs before the dialog shows, in milliseconds; tests set 0.
    static void SetShowDelay(int milliseconds);

private:
    void Show();

    QPointer<QWidget> m_parent;
    QString m_label;
    QString m_cancelText;
    QPointer<QDialog> m_dialog;
    QPointer<QWidget> m_focus; // where the focus was when the dialog took it
    QProgressBar* m_bar = nullptr;
    QElapsedTimer m_started;
    QElapsedTimer m_pumped; // since the window last handled its events
    bool m_cancelled = false;
    bool m_finished = false;
};
