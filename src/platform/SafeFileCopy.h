#pragma once
// Copying a finished output into place without ever leaving a half-written or missing
// file behind: the copy is written beside the destination and renamed over it only once
// complete, so an existing file stays whole until its replacement exists in full.

#include <QByteArray>
#include <QSaveFile>
#include <QString>

// Copies `from` to `to`, replacing what is at `to`. On failure `to` is as it was,
// and `error` (when given) says why.
bool copyFileReplacing(const QString &from, const QString &to, QString *error = nullptr);

// Writes `bytes` to `to` the same way: all or nothing.
bool writeFileReplacing(const QString &to, const QByteArray &bytes, QString *error = nullptr);

// Commits an open QSaveFile only when every byte written to it reached the file system;
// otherwise discards it and returns false.
bool commitWhole(QSaveFile &file);
