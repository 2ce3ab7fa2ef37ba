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
// The temporary file is first tried under a name made from the destination's name; a writer
// killed before it could rename leaves it there, and whoever writes that destination next
// can remove it (removeLeftoverTemporary) without guessing whose it was.
//
// On failure the destination is as it was, no temporary file is left behind, and `why`
// (when given) holds the reason, worded to follow the destination's name: "is a folder",
// "cannot be written: the disk is full".

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <set>
#include <utility>

enum class Replacing {
    Allowed, // whatever may be replaced (above) is
    Never,   // only a name at which nothing stands is written; "exists already" otherwise
};

// Copies the file `from` to `to`.
bool copyFileReplacing(const QString &from, const QString &to, QString *why = nullptr, Replacing replacing = Replacing::Allowed);

// Writes `bytes` to `to`.
bool writeFileReplacing(const QString &to, const QByteArray &bytes, QString *why = nullptr, Replacing replacing = Replacing::Allowed);

// Removes the temporary file a killed write to `to` left behind, when there is one and it is
// a plain file. Only for a writer that knows nobody else is writing `to` at the same time.
// False, with `why`, when one is there and could not be removed.
bool removeLeftoverTemporary(const QString &to, QString *why = nullptr);

// Whether writing `path` would replace the file `original`: true when the entry at `path`
// is that file, or a hard link of it, or the file that `original` reaches through links.
// A symbolic link at `path` is replaced itself and harms nothing: false.
bool writingReplaces(const QString &path, const QString &original);

// The same question against many originals: each is looked at once when added, so checking
// n paths against n originals costs n look-ups, not n x n.
class OriginalFiles {
public:
    void add(const QString &original);
    bool replacedByWriting(const QString &path) const;

private:
    std::set<std::pair<quint64, quint64>> files_; // device, inode
};
