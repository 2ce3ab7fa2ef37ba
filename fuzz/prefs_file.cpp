// Whatever is in the preferences file, reading it must not crash, and what reading
// accepts must survive being written and read again unchanged.

#include "JsonSettingsFormat.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    QSettings::SettingsMap map;
    if (!parseJsonSettings(bytes, map))
        return 0;
    QSettings::SettingsMap again;
    if (!parseJsonSettings(serialiseJsonSettings(map), again) || again != map)
        std::abort();
    return 0;
}
