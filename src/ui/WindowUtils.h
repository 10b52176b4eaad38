#pragma once

#include <QIcon>
#include <QString>

class QWidget;

namespace vistrel {

// The program's own icons by their numbers: the tray's kIconNormal … kIconAutoCaptureOff
// (app/Schedule.h) and the window icon below. They are SVG pictures built into the program.
inline constexpr int kIconProgram = 171;
QIcon ProgramIcon(int number);

// Makes the resources of the user interface (icons, help topics) available; the program and
// the tests call it once before a window opens. Further calls do nothing.
void InitUiResources();

// Whether the main window is out of sight in the tray: hidden, not merely minimised.
bool HiddenInTray(const QWidget* mainWindow);

// Prepares a window of the main window (the settings sheet, the About box, the viewer) before it
// opens. While the main window is hidden in the tray, the dialog becomes a window of its own with
// a taskbar entry and the program's icon, or nothing on the desktop would lead to it. Otherwise it
// stays a dialog of the main window, modal to that window only, so that the tray menu still
// works while it is open (a second request then brings it to the front).
// The dialog must delete itself on close or be owned by its caller.
void PrepareDialogOfMainWindow(QWidget* dialog, QWidget* mainWindow);

// The top-level window titled title that is shown, or null.
QWidget* FindTopLevelWindow(const QString& title);
// Brings the window titled title to the front; false when there is none.
bool BringWindowToFront(const QString& title);
// Closes the window titled title, as its close box would; false when there is none.
bool CloseTopLevelWindow(const QString& title);

// The titles of the main window's other windows: one of each at a time.
inline constexpr const char* kSettingsTitle = "Vistrel Settings";
inline constexpr const char* kAboutTitle = "About Vistrel";
inline constexpr const char* kImageViewTitle = "Image View";

} // namespace vistrel
