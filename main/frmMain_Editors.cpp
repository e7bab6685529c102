// Opening the record and type editors from the main window. Each editor brings the main window up
// to date itself when it saves (LoadTreeData), so nothing happens here after it closes.
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
    // Tells LoadTreeData which record a save concerns, so it can update that row alone.
    m_editedRecord = editMode ? pwdId : -1;
    editor.exec();
    m_editedRecord.reset();
}

void frmMain::OpenTypeEditor(bool editMode, qint64 typeNo)
{
    frmPWDType& editor = Form<frmPWDType>();
    editor.SetEditMode(editMode);
    editor.SetTypeNo(static_cast<int>(typeNo));
    editor.exec();
}
