#include "ColorManagement.h"

#include "Log.h"

#include <QCryptographicHash>
#include <cmath>
#include <cstring>
#include <lcms2.h>
#include <map>
#include <memory>
#include <mutex>
#include <tuple>

namespace {

void lcmsQuiet(cmsContext, cmsUInt32Number, const char *) {}

void installLcmsHandler()
{
    static std::once_flag once;
    std::call_once(once, [] { cmsSetLogErrorHandler(lcmsQuiet); });
}

cmsUInt32Number lcmsFormat(IccLayout layout)
{
    switch (layout) {
    case IccLayout::Grey8: return TYPE_GRAY_8;
    case IccLayout::Grey16: return TYPE_GRAY_16;
    case IccLayout::RGB8: return TYPE_RGB_8;
    case IccLayout::RGB16: return TYPE_RGB_16;
    case IccLayout::RGBA8: return TYPE_RGBA_8;
    case IccLayout::RGBA16: return TYPE_RGBA_16;
    case IccLayout::CMYK8: return TYPE_CMYK_8;
    case IccLayout::InvertedCMYK8: return TYPE_CMYK_8_REV;
    }
    return 0;
}

cmsColorSpaceSignature layoutSpace(IccLayout layout)
{
    switch (layout) {
    case IccLayout::Grey8:
    case IccLayout::Grey16: return cmsSigGrayData;
    case IccLayout::CMYK8:
    case IccLayout::InvertedCMYK8: return cmsSigCmykData;
    default: return cmsSigRgbData;
    }
}

struct ProfileHandle {
    cmsHPROFILE handle = nullptr;
    explicit ProfileHandle(const QByteArray &bytes)
        : handle(bytes.isEmpty() ? nullptr : cmsOpenProfileFromMem(bytes.constData(), cmsUInt32Number(bytes.size())))
    {
    }
    ~ProfileHandle()
    {
        if (handle)
            cmsCloseProfile(handle);
    }
};

// An embedded profile equal to sRGB in its colorants and curve needs no work; comparing
// the media white point, the primaries and a few tone samples tells that cheaply.
bool isSrgbLike(cmsHPROFILE profile)
{
    if (cmsGetColorSpace(profile) != cmsSigRgbData || !cmsIsMatrixShaper(profile))
        return false;
    static const cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    for (cmsTagSignature tag : {cmsSigRedColorantTag, cmsSigGreenColorantTag, cmsSigBlueColorantTag}) {
        auto *a = static_cast<const cmsCIEXYZ *>(cmsReadTag(profile, tag));
        auto *b = static_cast<const cmsCIEXYZ *>(cmsReadTag(srgb, tag));
        if (!a || !b || std::abs(a->X - b->X) > 0.002 || std::abs(a->Y - b->Y) > 0.002 || std::abs(a->Z - b->Z) > 0.002)
            return false;
    }
    for (cmsTagSignature tag : {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag}) {
        auto *a = static_cast<const cmsToneCurve *>(cmsReadTag(profile, tag));
        auto *b = static_cast<const cmsToneCurve *>(cmsReadTag(srgb, tag));
        if (!a || !b)
            return false;
        for (float x : {0.02f, 0.2f, 0.5f, 0.8f})
            if (std::abs(cmsEvalToneCurveFloat(a, x) - cmsEvalToneCurveFloat(b, x)) > 0.004f)
                return false;
    }
    return true;
}

using CacheKey = std::tuple<QByteArray, int, int>;

struct CacheEntry {
    std::shared_ptr<const IccTransform> transform; // null: profile unusable or already sRGB
    quint64 lastUse = 0;
};

std::mutex cacheMutex;
quint64 uses = 0;
std::map<CacheKey, CacheEntry> &cache()
{
    static std::map<CacheKey, CacheEntry> entries;
    return entries;
}

// Makes room for one more entry by forgetting the least recently used.
void evictLocked()
{
    auto &entries = cache();
    while (entries.size() >= IccTransform::maxCached) {
        auto oldest = entries.begin();
        for (auto it = entries.begin(); it != entries.end(); ++it)
            if (it->second.lastUse < oldest->second.lastUse)
                oldest = it;
        entries.erase(oldest);
    }
}

} // namespace

const QByteArray &srgbIccProfile()
{
    static const QByteArray bytes = [] {
        installLcmsHandler();
        cmsHPROFILE profile = cmsCreate_sRGBProfile();
        cmsUInt32Number size = 0;
        QByteArray out;
        if (profile && cmsSaveProfileToMem(profile, nullptr, &size) && size > 0) {
            out.resize(qsizetype(size));
            if (!cmsSaveProfileToMem(profile, out.data(), &size))
                out.clear();
        }
        // lcms2 dates the header when the profile is made: without a fixed date the same
        // picture and settings would give other bytes every second.
        constexpr int kDateOffset = 24, kDateBytes = 12; // year, month, day, hour, minute, second
        const unsigned char fixedDate[kDateBytes] = {0x07, 0xd0, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0}; // 2000-01-01 00:00:00
        if (out.size() >= kDateOffset + kDateBytes)
            std::memcpy(out.data() + kDateOffset, fixedDate, kDateBytes);
        if (profile)
            cmsCloseProfile(profile);
        return out;
    }();
    return bytes;
}

std::shared_ptr<const IccTransform> IccTransform::forProfile(const QByteArray &profile, IccLayout in, IccLayout out)
{
    if (profile.isEmpty())
        return nullptr;
    installLcmsHandler();
    const QByteArray digest = QCryptographicHash::hash(profile, QCryptographicHash::Sha1);
    const auto key = std::make_tuple(digest, int(in), int(out));
    std::lock_guard lock(cacheMutex);
    auto it = cache().find(key);
    if (it != cache().end()) {
        it->second.lastUse = ++uses;
        return it->second.transform;
    }

    CacheEntry entry;
    ProfileHandle source(profile);
    if (!source.handle) {
        qpLog(QStringLiteral("Ignoring an unreadable colour profile; taking the picture as sRGB"));
    } else if (cmsGetColorSpace(source.handle) != layoutSpace(in)) {
        qpLog(QStringLiteral("Ignoring a colour profile that does not fit the picture's colours; taking the picture as sRGB"));
    } else if (layoutSpace(in) == cmsSigRgbData && isSrgbLike(source.handle)) {
        // Already sRGB: no transform, no work.
    } else {
        cmsHPROFILE srgb = cmsCreate_sRGBProfile();
        const cmsUInt32Number flags = cmsFLAGS_NOCACHE | (in == IccLayout::RGBA8 || in == IccLayout::RGBA16 ? cmsFLAGS_COPY_ALPHA : 0);
        cmsHTRANSFORM handle = cmsCreateTransform(source.handle, lcmsFormat(in), srgb, lcmsFormat(out), INTENT_PERCEPTUAL, flags);
        cmsCloseProfile(srgb);
        if (handle) {
            entry.transform = std::make_shared<const IccTransform>(handle);
        } else {
            qpLog(QStringLiteral("Ignoring a colour profile that cannot be converted to sRGB; taking the picture as sRGB"));
        }
    }
    entry.lastUse = ++uses;
    evictLocked();
    return cache().emplace(key, std::move(entry)).first->second.transform;
}

size_t IccTransform::cachedCount()
{
    std::lock_guard lock(cacheMutex);
    return cache().size();
}

IccTransform::~IccTransform()
{
    cmsDeleteTransform(static_cast<cmsHTRANSFORM>(handle_));
}

void IccTransform::apply(const void *in, void *out, size_t pixels) const
{
    cmsDoTransform(static_cast<cmsHTRANSFORM>(handle_), in, out, cmsUInt32Number(pixels));
}

bool iccProfileIsCmyk(const QByteArray &profile)
{
    installLcmsHandler();
    ProfileHandle p(profile);
    return p.handle && cmsGetColorSpace(p.handle) == cmsSigCmykData;
}
