#pragma once
// The list of pictures a run converts, the same on every machine that is given the same
// arguments and files: positions in it decide the shards.

#include <QString>
#include <QStringList>
#include <vector>

struct InputSources {
    QStringList arguments;  // pictures and folders, in the order given
    QString listFile;       // --files-from: one path a line; "-" for standard input
    bool nulSeparated = false;
    bool recursive = false;
    QString skipFolder;     // not searched when met inside a folder (the output folder)
};

struct InputList {
    QStringList pictures;
    QStringList problems; // folders that could not be searched, with the reason
};

// The arguments, then the entries of the list file. An entry that is a folder stands for
// the pictures directly inside it (its whole tree when recursive; linked folders are not
// entered), told by their endings, in the order of their names, hidden ones aside. Any
// other entry is kept as it is: one that is no picture fails when it is converted.
// False, with `why`, when the list file cannot be read.
bool gatherInputs(const InputSources &sources, InputList &list, QString &why);

// The positions K, K + N, K + 2N, ... of a list of `count` (K taken modulo N).
std::vector<int> shardPositions(int count, qint64 k, qint64 n);
