#pragma once

class QWidget;

// The shared look of the program's dialogs. Every dialog asks it once, when it loads, to dress
// its window; the plain system look with the program's icon and a tidy fixed size is all it does.
class Skin
{
public:
    void ApplySkin(QWidget* window) const;
};

// The one skin of the program: the login dialog's, which every dialog asks to dress it.
Skin& TheSkin();
