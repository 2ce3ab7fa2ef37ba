#pragma once
// The one way the program puts a file in place. The bytes go to a new file in the
// destination's folder, which is renamed over the destination only once complete: an
// existing file stays whole until its replacement exists in full, and the rename
// replaces the folder entry itself, so a symbolic link standing at the destination is
// replaced, never the file it points to.
//
// What stands at the destination decides whether it may be replaced: nothing, a file
// the person can write, or a symbolic link (dangling or not, to a file or a folder) may;
// a folder, a file with no write permission (someone made it read-only) and anything that
// is not a plain file may not.
//
// On failure the destination is as it was, no temporary file is left behind, and `why`
// (when given) holds the reason, worded to follow the destination's name: "is a folder",
// "cannot be written: the disk is full".

#include <QByteArray>
#include <QString>

enum class Replacing {
    Allowed, // whatever may be replaced (above) is
    Never,   // only a name at which nothing stands is written; "exists already" otherwise
};

// Copies the file `from` to `to`.
bool copyFileReplacing(const QString &from, const QString &to, QString *why = nullptr, Replacing replacing = Replacing::Allowed);

// Writes `bytes` to `to`.
bool writeFileReplacing(const QString &to, const QByteArray &bytes, QString *why = nullptr, Replacing replacing = Replacing::Allowed);

// Whether writing `path` would replace the file `original`: true when the entry at `path`
// is that file, or a hard link of it, or the file that `original` reaches through links.
// A symbolic link at `path` is replaced itself and harms nothing: false.
bool writingReplaces(const QString &path, const QString &original);
