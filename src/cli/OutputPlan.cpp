#include "OutputPlan.h"

#include "FormatStore.h"
#include "PlistValue.h"
#include "SafeFileCopy.h"
#include "SavingRules.h"

#include <QDir>
#include <QFileInfo>
#include <unordered_map>

namespace {

// The picture's output path, or empty with `refusal` when it lies outside the tree root.
QString baseOutputPath(const QString &picture, const OutputRules &rules, QString &refusal)
{
    const QDir folder(rules.folder);
    const QString name = SavingRules::batchOutputName(picture, rules.fileFormat);
    if (rules.keepTree.isEmpty())
        return QDir::cleanPath(folder.absoluteFilePath(name));
    const QString below = QDir(QFileInfo(rules.keepTree).absoluteFilePath()).relativeFilePath(QFileInfo(picture).absolutePath());
    if (below == QLatin1String("..") || below.startsWith(QLatin1String("../")) || QDir::isAbsolutePath(below)) {
        refusal = QStringLiteral("it is not inside the --keep-tree folder %1").arg(rules.keepTree);
        return QString();
    }
    const bool atRoot = below.isEmpty() || below == QLatin1String(".");
    return QDir::cleanPath(folder.absoluteFilePath(atRoot ? name : below + QLatin1Char('/') + name));
}

} // namespace

std::vector<PlannedPicture> planOutputs(const QStringList &pictures, const OutputRules &rules)
{
    OriginalFiles inputs;
    for (const QString &picture : pictures)
        inputs.add(picture);
    std::unordered_map<QString, qsizetype> taken; // path -> the picture that writes it
    std::vector<PlannedPicture> plan(size_t(pictures.size()));
    for (qsizetype i = 0; i < pictures.size(); ++i) {
        PlannedPicture &planned = plan[size_t(i)];
        const QString base = baseOutputPath(pictures[i], rules, planned.refusal);
        if (base.isEmpty())
            continue;
        // Refusals worded to follow the output's path.
        auto refusalFor = [&](const QString &path) -> QString {
            if (inputs.replacedByWriting(path))
                return QStringLiteral("would replace an input picture");
            if (const auto it = taken.find(path); it != taken.end())
                return QStringLiteral("is already the output of %1").arg(pictures[it->second]);
            return QString();
        };
        if (const QString refusal = refusalFor(base); !refusal.isEmpty()) {
            planned.refusal = QStringLiteral("its output %1 %2; skipped").arg(base, refusal);
            continue;
        }
        taken.emplace(base, i);
        planned.outputs.push_back({base, {}, {}});
        for (const QVariant &entry : rules.formats) {
            PlannedOutput output{{}, entry.toMap(), {}};
            const QString path = SavingRules::additionalFormatPath(base, SavingRules::formatModifier(output.format), &output.refusal);
            if (!path.isEmpty()) {
                if (const QString refusal = refusalFor(path); !refusal.isEmpty())
                    output.refusal = QStringLiteral("%1 %2; skipped").arg(path, refusal);
                else
                    output.path = path;
                taken.emplace(path, i);
            }
            planned.outputs.push_back(output);
        }
    }
    return plan;
}
