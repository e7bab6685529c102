#include "main/LoadProgress.h"

#include <QCoreApplication>
#include <QProgressDialog>

namespace {

constexpr qint64 ShowAfterMs = 300;

} // namespace

LoadProgress::LoadProgress(QWidget* parent, QString label) : m_parent(parent), m_label(std::move(label))
{
    m_elapsed.start();
}

LoadProgress::~LoadProgress()
{
    delete m_dialog.data();
}

void LoadProgress::Tick()
{
    if (m_dialog.isNull()) {
        if (m_elapsed.elapsed() < ShowAfterMs) {
            return;
        }
        m_dialog = new QProgressDialog(m_label, QString(), 0, 0, m_parent);
        m_dialog->setCancelButton(nullptr);
        m_dialog->setWindowModality(Qt::WindowModal);
        m_dialog->setMinimumDuration(0);
        m_dialog->show();
    }
    // Painted, but no click or key reaches the window until the list is complete.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}
