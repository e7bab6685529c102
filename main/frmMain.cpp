#include "main/frmMain.h"

#include "access/frmLogin.h"
#include "app/ApplyLanguage.h"
#include "app/FormState.h"
#include "app/Forms.h"

#include <QCloseEvent>
#include <QLabel>

frmMain::frmMain()
{
    setObjectName(QStringLiteral("frmMain"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(800, 560);
    auto* placeholder = new QLabel(this);
    placeholder->setAlignment(Qt::AlignCenter);
    setCentralWidget(placeholder);
    RestoreFormState(this);
    ApplyLanguage(this);
    setWindowTitle(QStringLiteral("Tavoren"));
}

void frmMain::closeEvent(QCloseEvent* event)
{
    SaveFormState(this);
    FormInstance<frmLogin>::Unload();
    event->accept();
}
