#include "views/ui/frmmain.h"

#include "link/prompts.h"

frmMain::frmMain(AppContext &context, QWidget *parent)
    : QMainWindow(parent)
    , context(context)
{
    setWindowTitle(applicationTitle);
}
