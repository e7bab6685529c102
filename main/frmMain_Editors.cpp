// Opening the record and type editors from the main window. An editor saves through the book,
// which tells the views what changed; afterwards the saved record or type is shown selected.
#include "main/frmMain.h"

#include "editors/frmPWD.h"
#include "editors/frmPWDType.h"
#include "ui/Forms.h"

void frmMain::OpenRecordEditor(bool editMode, qint64 pwdId, const QString& preselectType)
{
    frmPWD& editor = Form<frmPWD>();
    editor.SetEditMode(editMode);
    editor.SetPWDID(static_cast<int>(pwdId));
    if (!editMode && !preselectType.isEmpty()) {
        editor.PreselectType(preselectType);
    }
    editor.exec(); // the book has the saved record shown
}

void frmMain::OpenTypeEditor(bool editMode, qint64 typeNo)
{
    frmPWDType& editor = Form<frmPWDType>();
    editor.SetEditMode(editMode);
    editor.SetTypeNo(static_cast<int>(typeNo));
    editor.exec(); // the book has the saved type shown
}
