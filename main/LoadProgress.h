#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QString>

#include "ui/Common.h"

class QProgressDialog;
class QWidget;

// The wait pointer at once, and a progress window once loading the list has taken 300 ms, for
// listings and re-sorts of large books. The work calls Tick now and then; the window shows that
// the program is busy (how long it will take is not known ahead) and keeps the screen painted.
// Nothing can be done meanwhile: a half-loaded list is no state to act on.
class LoadProgress
{
public:
    LoadProgress(QWidget* parent, QString label);
    ~LoadProgress();
    LoadProgress(const LoadProgress&) = delete;
    LoadProgress& operator=(const LoadProgress&) = delete;

    void Tick();

private:
    WaitCursor m_wait;
    QWidget* m_parent;
    QString m_label;
    QElapsedTimer m_elapsed;
    QPointer<QProgressDialog> m_dialog;
};
