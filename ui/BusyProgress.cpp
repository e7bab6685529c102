#include "ui/BusyProgress.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

int ShowDelayMs = 300;

// Repainting the window more often than this would only slow the work down.
constexpr int PumpIntervalMs = 40;

// The dialog itself. Escape and the window's close button mean Cancel where there is one and
// nothing otherwise: it goes away only with the command.
class BusyDialog : public QDialog
{
public:
    BusyDialog(QWidget* parent, const QString& label, const QString& cancelText, bool* cancelled)
        : QDialog(parent), m_cancelled(cancelled)
    {
        setObjectName(QStringLiteral("BusyProgress"));
        setWindowTitle(parent != nullptr ? parent->window()->windowTitle() : QString());
        setWindowModality(Qt::WindowModal);
        setWindowFlag(Qt::WindowContextHelpButtonHint, false);
        auto* layout = new QVBoxLayout(this);
        auto* text = new QLabel(label, this);
        text->setObjectName(QStringLiteral("lblBusy"));
        layout->addWidget(text);
        bar = new QProgressBar(this);
        bar->setObjectName(QStringLiteral("barBusy"));
        bar->setMinimumWidth(300);
        layout->addWidget(bar);
        if (!cancelText.isEmpty()) {
            auto* buttons = new QDialogButtonBox(this);
            m_cancel = buttons->addButton(cancelText, QDialogButtonBox::RejectRole);
            m_cancel->setObjectName(QStringLiteral("CmdCancel"));
            connect(m_cancel, &QPushButton::clicked, this, &BusyDialog::reject);
            layout->addWidget(buttons);
        }
        layout->setSizeConstraint(QLayout::SetFixedSize);
    }

    void reject() override
    {
        if (m_cancel != nullptr && !*m_cancelled) {
            *m_cancelled = true;
            // The rollback still runs; the button says it was heard.
            m_cancel->setEnabled(false);
        }
    }

    QProgressBar* bar = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override
    {
        event->ignore();
        reject();
    }

private:
    bool* m_cancelled;
    QPushButton* m_cancel = nullptr;
};

} // namespace

BusyProgress::BusyProgress(QWidget* parent, const QString& label, const QString& cancelText)
    : m_parent(parent), m_label(label), m_cancelText(cancelText)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_started.start();
}

BusyProgress::~BusyProgress()
{
    Finish();
}

void BusyProgress::Finish()
{
    if (m_finished) {
        return;
    }
    m_finished = true;
    if (m_dialog) {
        delete m_dialog.data();
        // The window takes up where it was: the focus back where the user left it.
        if (m_focus) {
            m_focus->activateWindow();
            m_focus->setFocus(Qt::OtherFocusReason);
        }
    }
    // An error report may already have put the normal pointer back.
    if (QApplication::overrideCursor() != nullptr) {
        QApplication::restoreOverrideCursor();
    }
}

void BusyProgress::SetShowDelay(int milliseconds)
{
    ShowDelayMs = milliseconds;
}

void BusyProgress::Show()
{
    m_focus = QApplication::focusWidget();
    auto* dialog = new BusyDialog(m_parent, m_label, m_cancelText, &m_cancelled);
    m_dialog = dialog;
    m_bar = dialog->bar;
    if (!m_cancelText.isEmpty()) {
        // The pointer over the dialog says it can be clicked; the window stays busy behind it.
        QApplication::changeOverrideCursor(Qt::BusyCursor);
    }
    dialog->show();
}

bool BusyProgress::Step(qint64 done, qint64 total)
{
    if (m_finished) {
        return !m_cancelled;
    }
    if (!m_dialog) {
        if (m_started.elapsed() < ShowDelayMs) {
            // Until the dialog shows, the window still paints and its timers run now and then;
            // input waits for the dialog, so nothing else can start in the window meanwhile.
            if (!m_pumped.isValid() || m_pumped.elapsed() >= PumpIntervalMs) {
                QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
                m_pumped.start();
            }
            return !m_cancelled;
        }
        Show();
    } else if (m_pumped.isValid() && m_pumped.elapsed() < PumpIntervalMs) {
        return !m_cancelled;
    }
    if (total > 0) {
        m_bar->setRange(0, 1000);
        m_bar->setValue(static_cast<int>(std::clamp<qint64>(done, 0, total) * 1000 / total));
    } else {
        m_bar->setRange(0, 0); // a bar that only moves
    }
    // The dialog is window-modal, so the window paints but takes no input while this runs.
    QCoreApplication::processEvents();
    m_pumped.start();
    return !m_cancelled;
}

std::function<bool(qint64, qint64)> BusyProgress::Callback()
{
    return [this](qint64 done, qint64 total) { return Step(done, total); };
}
