#pragma once

class QWidget;

namespace vistrel {

// Help contexts of the program's windows: the main window, the settings pages, the first start
// and the stamp and logo dialogs.
enum HelpContext : int {
    kHelpMainWindow = 5,
    kHelpConnectionPage = 30,
    kHelpLocationPage = 35,
    kHelpCapturePage = 45,
    kHelpImagePage = 50,
    kHelpDevicePage = 55,
    kHelpGeneralPage = 65,
    kHelpFirstStart = 80,
    kHelpBannerDialog = 85,
    kHelpLogoDialog = 90,
    kHelpDateTimeDialog = 95,
};

// The program's help window: one top-level window "Vistrel Help" showing the topic of a help
// context. The topics are HTML pages built into the program (":/help/<context>.html"); links
// between them use "topic:<context>". Opening a topic while the window is open shows that topic
// in it and brings it to the front. Its Back button (Alt+Left, Backspace) goes to the topic shown
// before; F1 in it shows the main window's topic.
void ShowHelpTopic(int context, QWidget* parent = nullptr);
// Closes the help window if it is open (the main window does so when it is destroyed).
void CloseHelpWindow();
// The help window's Back: the topic shown before the current one.
void HelpBack();
// The topic the help window shows, or 0 when it is closed (for tests).
int CurrentHelpTopic();

// Gives widget an F1 shortcut that opens the topic of context.
void AddHelpShortcut(QWidget* widget, int context);

} // namespace vistrel
