#pragma once
// The size fields a format's scale mode reads, and whether their texts make an output:
// the savers read each one as a number and write nothing for a size of 0, so every field
// the mode reads must hold one positive number as a whole. Fields of the other modes are
// kept as typed and not read.

#include <QString>
#include <QVariantMap>
#include <optional>

struct UnusableSize {
    QString key;     // the record key of the field
    QString message; // the alert text, naming the field
};

// The first field the record's scale mode reads whose text is not a positive number, or
// nothing when all of them are.
std::optional<UnusableSize> firstUnusableSize(const QVariantMap &record);
