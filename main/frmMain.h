#pragma once

#include <QMainWindow>

// The main window: the type tree, the record list and every command.
class frmMain : public QMainWindow
{
public:
    frmMain();

protected:
    void closeEvent(QCloseEvent* event) override;
};
