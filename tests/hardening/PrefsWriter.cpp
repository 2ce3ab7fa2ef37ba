// Writes the preferences file through the program's own store, version after version, until it is killed; prints
// each version's number once it is on disk.  qp_prefs_writer <preferences file> <first version>

#include "PrefsVersions.h"
#include "UserDefaults.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv)
{
    if (argc != 3)
        return 2;
    UserDefaults::setStandardFilePath(QString::fromLocal8Bit(argv[1]));
    for (qint64 k = std::atoll(argv[2]);; ++k) {
        const QSettings::SettingsMap version = prefsVersion(k);
        for (auto it = version.cbegin(); it != version.cend(); ++it)
            UserDefaults::standard().setObjectForKey(it.value(), it.key());
        if (!UserDefaults::standard().synchronize())
            return 1;
        std::printf("%lld\n", static_cast<long long>(k));
        std::fflush(stdout);
    }
}
