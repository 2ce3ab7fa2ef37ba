#pragma once
// Files named on the command line (as the desktop's file manager passes them through the
// .desktop file's %F) reach the window as files opened by the system.

#include <QStringList>

class ShrinkerController;

// The file paths among the program's arguments (without the program name): options
// starting with "-" are left out, except after "--"; file:// addresses become paths and
// relative paths are made absolute.
QStringList commandLinePaths(const QStringList &arguments);

// One path goes to application:openFile:, several to application:openFiles:.
void openCommandLinePaths(ShrinkerController &controller, const QStringList &arguments);
