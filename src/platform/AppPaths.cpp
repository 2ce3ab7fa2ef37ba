#include "AppPaths.h"

#include <QStandardPaths>

QString AppPaths::supportFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}
