// vistrel: the desktop program — live preview, tray icon, the publishing cycle on a schedule.
//   vistrel [NAME]   uses the settings file NAME.ini
#include "ui/MainApp.h"

int main(int argc, char** argv)
{
    vistrel::CMainApp app;
    return app.Run(argc, argv);
}
