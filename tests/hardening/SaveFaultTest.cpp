// Saving when the destination fails underneath: a folder turned read-only, a full file system, the batch folder
// removed mid-batch, a folder where an output should go. What was written before the fault, and every file that was
// there already, must come out whole.

#include "FaultFolder.h"
#include "WindowFixture.h"

namespace {

// Mounts are made in a namespace of this process alone, entered before any thread starts.
[[maybe_unused]] const bool privateMounts = enterPrivateMountNamespace();

using Files = std::map<QString, QByteArray>;
const QString diskFull = QStringLiteral("cannot be written: the disk is full");

class SaveFaultTest : public WindowFixture {
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        UserDefaults::standard().setIntegerForKey(0, PrefKey::makeDirectoryForBatch);
    }
    // Three pictures whose heights at a width of 150 are 100, 225 and 150, with a @2x format, saved into "ref". The
    // batch calls `beforeSecondPicture` once, as it sizes the second: the first one's outputs are written, none of its own.
    void prepareBatch()
    {
        storeFormats({twice()});
        controller->multipleImagesProvided({writePicture("a/one.png", 300, 200), writePicture("b/two.png", 200, 300), writePicture("a/three.png", 400, 400)});
        setLock(true);
        setSize(150, 100);
        controller->handleControl(controller->sizeFieldW);
        saveTo(path("ref"));
        ASSERT_EQ(entriesOf(path("ref")).size(), 6);
        QObject::connect(controller->sizeFieldH, &QLineEdit::textChanged, controller.get(), [this](const QString &text) {
            if (text == "225" && beforeSecondPicture)
                std::exchange(beforeSecondPicture, nullptr)();
        });
    }
    static void fill(const FaultFolder &folder, qint64 room)
    {
        writeBytes(folder.path() + "/ballast", QByteArray(folder.freeBytes() - room, '\0'));
        ASSERT_EQ(folder.freeBytes(), room);
    }
    QByteArray ref(const QString &name) const { return bytesOf(path("ref/") + name); }
    // Exactly these files in `folder`, besides the ballast, with these bytes; no argument: as in "ref".
    void expectFiles(const QString &folder, Files files = {}) const
    {
        if (files.empty())
            for (const QString &name : entriesOf(path("ref")))
                files[name] = ref(name);
        QStringList names;
        for (const auto &[name, bytes] : files) {
            names << name;
            EXPECT_EQ(bytesOf(folder + "/" + name), bytes) << name.toStdString();
        }
        QStringList entries = entriesOf(folder);
        entries.removeAll("ballast");
        EXPECT_EQ(entries, names);
    }
    // One alert, for exactly these outputs of `folder`, each not written for `reason`.
    void expectLost(const QString &folder, const QStringList &names, const QString &reason = {})
    {
        EXPECT_EQ(presenter.alerts.size(), 1u);
        QStringList lost, expected;
        for (const UnwrittenOutput &output : controller->unwrittenOutputs) {
            lost << output.path;
            EXPECT_TRUE(output.reason.contains(reason)) << output.reason.toStdString();
        }
        for (const QString &name : names)
            expected << folder + "/" + name;
        EXPECT_EQ(lost, expected);
        presenter.alerts.clear();
    }

    std::function<void()> beforeSecondPicture;
};

// The destination turned read-only; full with room for the base output only; or full under the temp preview file,
// which every output passes through, so that nothing reaches the destination. Once the fault is gone, a save works.
TEST_F(SaveFaultTest, ADestinationThatFailsKeepsEveryOlderOutputWholeAndLeavesNoTemporaryFile)
{
    if (!FaultFolder::whyNot().empty())
        GTEST_SKIP() << FaultFolder::whyNot();
    storeFormats({format("@4x", 1, {{"xratio", "4"}, {"yratio", "4"}})});
    adopt(writePicture("in/photo.png", 600, 400), 150, 100);
    saveTo(path("ref/photo.jpg"));
    const qint64 page = 4096, baseRoom = (ref("photo.jpg").size() + page - 1) / page * page + page;
    ASSERT_GT(ref("photo@4x.jpg").size(), baseRoom) << "the 4x output must not fit where the base output does";
    const QString preview = AppPaths::supportFolder() + "/tempImage.jpg";
    const struct {
        QString failing, dest;
        qint64 room; // -1: read-only
        QStringList lost;
        QString reason;
    } cases[] = {
        {path("read-only"), path("read-only"), -1, {"photo.jpg", "photo@4x.jpg"}, ""},
        {path("full"), path("full"), baseRoom, {"photo@4x.jpg"}, diskFull},
        {AppPaths::supportFolder(), path("other"), 0, {"photo.jpg", "photo@4x.jpg"}, "its temporary file " + preview + " " + diskFull},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.failing.toStdString());
        FaultFolder failing(c.failing);
        ASSERT_EQ(failing.create(1 << 20), "");
        Files older = {{"photo.jpg", "an older base output"}, {"photo@4x.jpg", "an older 4x output"}};
        for (const auto &[name, bytes] : older)
            writeBytes(c.dest + "/" + name, bytes);
        if (c.room < 0)
            ASSERT_EQ(failing.setReadOnly(true), "");
        else
            fill(failing, c.room);
        saveTo(c.dest + "/photo.jpg");
        if (!c.lost.contains("photo.jpg"))
            older["photo.jpg"] = ref("photo.jpg");
        expectFiles(c.dest, older);
        expectLost(c.dest, c.lost, c.reason);
        EXPECT_TRUE(c.failing == c.dest || entriesOf(c.failing) == QStringList{"ballast"}) << "the temp preview file is left";
        ASSERT_TRUE(c.room < 0 ? failing.setReadOnly(false).empty() : QFile::remove(c.failing + "/ballast"));
        saveTo(c.dest + "/photo.jpg");
        expectFiles(c.dest);
    }
}

// The batch meets the fault on its own thread, between two pictures. A failed write does not stop it: it ends as a
// completed batch, and names what it could not write.
using BatchFaultTest = SaveFaultTest;

TEST_F(BatchFaultTest, ADestinationTurnedReadOnlyOrFullMidBatchKeepsTheFirstOutputsAndEveryOlderFile)
{
    if (!FaultFolder::whyNot().empty())
        GTEST_SKIP() << FaultFolder::whyNot();
    prepareBatch();
    const struct {
        const char *name;
        std::function<void(FaultFolder &)> fault;
        QString reason;
    } cases[] = {
        {"read-only", [](FaultFolder &dest) { EXPECT_EQ(dest.setReadOnly(true), ""); }, ""},
        {"full", [](FaultFolder &dest) { fill(dest, 0); }, diskFull},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        FaultFolder dest(path(c.name));
        ASSERT_EQ(dest.create(2 << 20), "");
        writeBytes(dest.path() + "/two@2x.jpg", "an older 2x output");
        beforeSecondPicture = [&] { c.fault(dest); };
        saveTo(dest.path());
        EXPECT_FALSE(beforeSecondPicture) << "the fault never struck";
        expectFiles(dest.path(), {{"one.jpg", ref("one.jpg")}, {"one@2x.jpg", ref("one@2x.jpg")}, {"two@2x.jpg", "an older 2x output"}});
        expectLost(dest.path(), {"two.jpg", "two@2x.jpg", "three.jpg", "three@2x.jpg"}, c.reason);
    }
}

TEST_F(BatchFaultTest, ABatchFolderRemovedMidBatchStopsTheBatchAndIsNotMadeAgain)
{
    prepareBatch();
    const QString dest = path("dest");
    beforeSecondPicture = [&] { QDir(dest).removeRecursively(); };
    LogCapture log;
    saveTo(dest);
    EXPECT_FALSE(beforeSecondPicture) << "the fault never struck";
    EXPECT_FALSE(QFileInfo::exists(dest));
    EXPECT_TRUE(log.contains(QStringLiteral("The batch folder %1 is no longer there; the batch stops before %2").arg(dest, path("b/two.png"))));
    // Stopped as at an existing output, but without the alert (nor a write tried): the person did this.
    EXPECT_TRUE(presenter.alerts.empty());
    EXPECT_EQ(controller->inputFileCount->text(), "showing image 2 of 3 images");
}

TEST_F(BatchFaultTest, AFolderNamedLikeAFormatOutputIsSkippedAndTheBatchGoesOn)
{
    prepareBatch();
    writeBytes(path("dest/two@2x.jpg/inside.txt"), "kept");
    saveTo(path("dest"));
    EXPECT_EQ(bytesOf(path("dest/two@2x.jpg/inside.txt")), "kept");
    expectLost(path("dest"), {"two@2x.jpg"}, "is a folder");
    EXPECT_EQ(entriesOf(path("dest")), entriesOf(path("ref")));
    for (const QString &name : entriesOf(path("ref")))
        EXPECT_TRUE(name == "two@2x.jpg" || bytesOf(path("dest/") + name) == ref(name)) << name.toStdString();
}

} // namespace
