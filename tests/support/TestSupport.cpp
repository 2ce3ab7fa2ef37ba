#include "TestSupport.h"

#include "UserDefaults.h"

#include <QDesktopServices>

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

int ScriptedPresenter::runAlertPanel(const AlertPanel &panel)
{
    asked.append(panel);
    if (answers.empty())
        return AlertDefault;
    const int answer = answers.front();
    answers.pop_front();
    return answer;
}

QStringList ScriptedPresenter::messages() const
{
    QStringList list;
    for (const AlertPanel &panel : asked)
        list << panel.message;
    return list;
}

UrlCatcher::UrlCatcher()
{
    QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "open");
}

UrlCatcher::~UrlCatcher()
{
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
}

QStringList formatNames(const QVariantList &list)
{
    QStringList names;
    for (const QVariant &record : list)
        names << record.toMap().value(QStringLiteral("name")).toString();
    return names;
}
