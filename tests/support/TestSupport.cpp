#include "TestSupport.h"

#include "UserDefaults.h"

void FreshDefaultsTest::SetUp()
{
    ASSERT_TRUE(folder.isValid());
    UserDefaults::setStandardFilePath(defaultsPath());
}

void FreshDefaultsTest::TearDown()
{
    UserDefaults::standard().synchronize();
}

QString FreshDefaultsTest::defaultsPath() const
{
    return folder.filePath(QStringLiteral("Quillpane.json"));
}
