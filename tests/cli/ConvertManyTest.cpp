// quillpane-convert on many pictures: lists, folders, trees, shards, the report.

#include "ConvertFixture.h"

#include <set>

namespace {

using ConvertManyTest = ConvertFixture;

TEST_F(ConvertManyTest, PicturesComeFromListsInEveryForm)
{
    writePicture("in/with space.png", 30, 20);
    writePicture("in/line\nbreak.png", 30, 20);
    // The list is written to list.txt, or given on standard input with "-"; the outputs are sorted.
    const std::tuple<const char *, QStringList, QByteArray, QStringList> cases[] = {
        {"lines, a blank one and a carriage return, a picture named again by itself and by its folder",
         {"--files-from", "list.txt", "in/wide.png", "in"}, "in/wide.png\n\nin/with space.png\r\n",
         {"line\nbreak.jpg", "tall.jpg", "wide.jpg", "with space.jpg"}},
        {"NUL-separated on standard input, a line break in a name", {"--files-from", "-", "-0"},
         QByteArray("in/line\nbreak.png\0in/wide.png\0", 29), {"line\nbreak.jpg", "wide.jpg"}},
    };
    for (const auto &[name, arguments, list, outputs] : cases) {
        writeFile("list.txt", list);
        EXPECT_EQ(run(arguments + QStringList{"--width", "20", "-o", name}, arguments.contains("-") ? list : QByteArray()), 0)
            << name << ": " << err.toStdString();
        EXPECT_EQ(filesBelow(name), outputs) << name;
    }
    EXPECT_EQ(run({"--files-from", "absent.txt", "-o", "out"}), 2);
    EXPECT_TRUE(err.contains("--files-from absent.txt: cannot be read")) << err.toStdString();
}

TEST_F(ConvertManyTest, AFolderGivesItsPicturesAndRecursiveItsWholeTree)
{
    for (const char *name : {"lib/b.png", "lib/a.JPG", "lib/.hidden.png", "lib/deep/er/c.png", "elsewhere/e.png", "lib/deep/b.png"})
        writePicture(name, 30, 20);
    writeFile("lib/notes.txt", "not a picture");
    writeFile("lib/deep/d.gif", "GIF89a, cut short"); // its ending makes it one of the pictures
    ASSERT_TRUE(QFile::link(root.filePath("elsewhere"), root.filePath("lib/linked")));

    EXPECT_EQ(run({"--width", "10", "--report", "flat.jsonl", "-o", "flat", "lib"}), 0) << err.toStdString();
    EXPECT_EQ(reportedInputs("flat.jsonl"), QStringList({"lib/a.JPG", "lib/b.png"}));
    // The output folder inside the tree is not searched, on the first run or any other; the tree keeps same names apart.
    for (int pass = 0; pass < 2; ++pass) {
        QFile::remove(root.filePath("tree.jsonl"));
        EXPECT_EQ(run({"--width", "10", "--recursive", "--report", "tree.jsonl", "--keep-tree", "lib", "-o", "lib/web", "lib/",
                       "elsewhere/e.png"}),
                  1);
        EXPECT_EQ(reportedInputs("tree.jsonl"),
                  QStringList({"elsewhere/e.png", "lib/a.JPG", "lib/b.png", "lib/deep/b.png", "lib/deep/d.gif", "lib/deep/er/c.png"}));
    }
    EXPECT_TRUE(err.contains("lib/deep/d.gif: cannot be read")) << err.toStdString();
    EXPECT_TRUE(err.contains("elsewhere/e.png: it is not inside the --keep-tree folder lib")) << err.toStdString();
    EXPECT_EQ(filesBelow("lib/web"), QStringList({"a.jpg", "b.jpg", "deep/b.jpg", "deep/er/c.jpg"}));
}

TEST_F(ConvertManyTest, ShardsTakeEveryPictureExactlyOnce)
{
    QStringList pictures;
    for (int i = 0; i < 10; ++i)
        writePicture(pictures.emplaceBack(QStringLiteral("in/p%1.png").arg(i)), 16, 12, ImageEncoding::PNG, i * 20);
    writeFile("list.txt", pictures.join('\n').toUtf8());
    for (const int n : {1, 3, 7}) {
        std::multiset<QString> taken;
        for (int k = 0; k < n; ++k) {
            const QString shard = QStringLiteral("%1/%2").arg(k).arg(n), report = QStringLiteral("%1-%2.jsonl").arg(k).arg(n);
            ASSERT_EQ(run({"--files-from", "list.txt", "--shard", shard, "--report", report, "--width", "8", "-o", "out"}), 0);
            const QStringList inputs = reportedInputs(report);
            for (const QString &input : inputs)
                EXPECT_EQ(pictures.indexOf(input) % n, k) << input.toStdString() << " in shard " << shard.toStdString();
            taken.insert(inputs.begin(), inputs.end());
        }
        EXPECT_EQ(taken, std::multiset<QString>(pictures.begin(), pictures.end())) << n << " shards";
    }
}

TEST_F(ConvertManyTest, TheReportSaysWhatBecameOfEachPicture)
{
    writeFile("in/broken.png", "\x89PNG but not really");
    writeFile("list.txt", "in/wide.png\nin/broken.png\nin/tall.jpg\n");
    // A line a killed run left unfinished is cut away before anything is appended.
    writeFile("report.jsonl", "{\"input\":\"in/tall.jpg\",\"status\":\"ok\"}\n{\"input\":\"in/wi");
    EXPECT_EQ(run({"--files-from", "list.txt", "--width", "30", "--formats", "--report", "report.jsonl", "-o", "out"}), 1);
    const auto lines = reportLines("report.jsonl");
    ASSERT_EQ(lines.size(), 4u) << bytes("report.jsonl").toStdString();
    std::map<QString, QJsonObject> byInput;
    for (const QJsonObject &line : lines)
        byInput[line["input"].toString()] = line;
    const QJsonObject wide = byInput["in/wide.png"], broken = byInput["in/broken.png"];
    const QJsonValue at3x = wide["outputs"][1]; // in the list's order
    EXPECT_EQ(at3x["path"].toString(), root.filePath("out/wide@3x.jpg"));
    EXPECT_EQ(QSize(at3x["width"].toInt(), at3x["height"].toInt()), QSize(90, 60));
    EXPECT_EQ(at3x["bytes"].toDouble(), QFileInfo(root.filePath("out/wide@3x.jpg")).size());
    EXPECT_EQ(broken["status"].toString(), "failed");
    EXPECT_TRUE(broken["reason"].toString().startsWith("cannot be read: ")) << broken["reason"].toString().toStdString();

    // The check names the picture that failed, and the one never reported.
    writeFile("list.txt", "in/wide.png\nin/broken.png\nin/never.png\n");
    EXPECT_EQ(run({"list.txt", "report.jsonl"}, {}, QP_CHECK_BINARY), 1);
    EXPECT_TRUE(out.contains("in/broken.png: cannot be read: ")) << out.toStdString();
    EXPECT_TRUE(out.contains("in/never.png: no report line")) << out.toStdString();
    EXPECT_TRUE(out.endsWith("1 of 3 pictures ok\n")) << out.toStdString();
}

} // namespace
