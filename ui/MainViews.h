#pragma once

class QString;

// What the dialogs that change data ask of the main window: rebuild the tree and list on a key,
// show the account in use. The main window registers itself while it exists, so the dialogs need
// not know it; with no main window open the calls go nowhere.
class MainViews
{
public:
    virtual void LoadTreeData(const QString& selectKey) = 0;
    virtual void ShowUser() = 0;

    // The main window, or nullptr when none is open.
    static MainViews* Open();

protected:
    MainViews();
    virtual ~MainViews();
    MainViews(const MainViews&) = delete;
    MainViews& operator=(const MainViews&) = delete;
};
