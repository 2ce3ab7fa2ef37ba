#pragma once
// Pictures arriving as a list of paths (the Open panel, a drop, the command line): folders
// become the picture files directly inside them, and files that cannot be read as pictures
// are left out, each with the reason, for the window to name.

#include <QString>
#include <QStringList>

#include <vector>

namespace PictureArrival {

// The picture types the Open panel offers, in its order. A folder's picture files are its
// files with one of these extensions, in any case.
QStringList openPanelTypes();

// The picture files directly inside the folder, in name order as a file manager lists them
// (ignoring case, numbers by value: "photo 9" before "photo 10"); hidden files are left out.
QStringList picturesInFolder(const QString &folder);

struct Unreadable {
    QString path;
    QString why; // worded to follow the file's name: "it is a folder", "the file is empty"
};

struct Sorted {
    QStringList pictures; // readable, in the order given, each once
    std::vector<Unreadable> unreadable;
};

// Each folder replaced by its picture files (a folder without any is unreadable), a path
// given twice kept once, and every file checked: its header read, its pixels not decoded.
Sorted sortArrival(const QStringList &paths);

// For the window: "This file could not be read as a picture:" (or "These N files ...") and
// one line per file, "name: why"; files of several folders are named by their full path.
// At most UnwrittenOutputs::kListed are listed; the rest are counted.
QString unreadableText(const std::vector<Unreadable> &files);

} // namespace PictureArrival
