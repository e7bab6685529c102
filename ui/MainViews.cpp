#include "ui/MainViews.h"

namespace {

MainViews* OpenViews = nullptr;

} // namespace

MainViews::MainViews()
{
    OpenViews = this;
}

MainViews::~MainViews()
{
    if (OpenViews == this) {
        OpenViews = nullptr;
    }
}

MainViews* MainViews::Open()
{
    return OpenViews;
}
