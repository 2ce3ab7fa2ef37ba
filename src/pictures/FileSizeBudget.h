#pragma once
// The file-size budget a person may keep: every output no larger than N kB (of 1000
// bytes, so a file within it is within it however a file manager counts). Stored in the
// preferences; the encoders meet it by lowering a lossy type's quality (SizeBudget.h).

#include <QString>

class UserDefaults;

namespace FileSizeBudget {

inline const QString keepUnderKey = QStringLiteral("keepFilesUnderBudget"); // bool, off at first run
inline const QString kilobytesKey = QStringLiteral("fileSizeBudget");       // whole kB
inline constexpr qint64 kBytesPerKilobyte = 1000;
inline constexpr int kFirstRunKilobytes = 100;
inline constexpr int kMaxKilobytes = 1000000;

// Whether a count of kB is one a budget can be: 1 to kMaxKilobytes.
bool isUsable(qint64 kilobytes);
// The stored budget in bytes; 0 while it is off. A stored count that is no usable one
// reads as the first-run count, as the window shows it.
qint64 storedMaxBytes(const UserDefaults &defaults);
// A size as whole kB, rounded up, so a file a byte over a budget never reads as within it.
QString kilobytesText(qint64 bytes);
// Why an output written at maxBytes > 0 is larger, worded to follow its name: "is 143 kB,
// over the budget of 100 kB even at the lowest quality" (or, for a lossless type, that the
// type has no quality to lower).
QString overBudgetReason(qint64 bytes, qint64 maxBytes, qint64 fileFormat);

} // namespace FileSizeBudget
