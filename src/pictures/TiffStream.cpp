#include "TiffStream.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

TiffStream::TiffStream(const QByteArray *bytes)
    : in_(bytes)
{
}

TiffStream::~TiffStream()
{
    close();
}

TIFF *TiffStream::open(const char *mode, tmsize_t maxAllocation)
{
    TIFFOpenOptions *options = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, maxAllocation);
    TIFFOpenOptionsSetErrorHandlerExtR(options, errorProc, this);
    TIFFOpenOptionsSetWarningHandlerExtR(options, warningProc, this);
    tiff_ = TIFFClientOpenExt("memory", mode, this, readProc, writeProc, seekProc, closeProc, sizeProc, mapProc,
                              unmapProc, options);
    TIFFOpenOptionsFree(options);
    if (!tiff_ && error_.isEmpty())
        error_ = QStringLiteral("not a TIFF file");
    return tiff_;
}

void TiffStream::close()
{
    if (tiff_) {
        TIFFClose(tiff_);
        tiff_ = nullptr;
    }
}

tmsize_t TiffStream::readProc(thandle_t handle, void *buffer, tmsize_t size)
{
    auto *self = static_cast<TiffStream *>(handle);
    const QByteArray &source = self->in_ ? *self->in_ : self->out_;
    if (size < 0 || self->position_ >= source.size())
        return 0;
    const qint64 count = std::min<qint64>(size, source.size() - self->position_);
    std::memcpy(buffer, source.constData() + self->position_, size_t(count));
    self->position_ += count;
    return tmsize_t(count);
}

tmsize_t TiffStream::writeProc(thandle_t handle, void *buffer, tmsize_t size)
{
    auto *self = static_cast<TiffStream *>(handle);
    if (self->in_ || size < 0)
        return -1;
    const qint64 end = self->position_ + size;
    if (end > self->out_.size())
        self->out_.resize(end);
    std::memcpy(self->out_.data() + self->position_, buffer, size_t(size));
    self->position_ = end;
    return size;
}

toff_t TiffStream::seekProc(thandle_t handle, toff_t offset, int whence)
{
    auto *self = static_cast<TiffStream *>(handle);
    const qint64 size = self->in_ ? self->in_->size() : self->out_.size();
    qint64 base = 0;
    if (whence == SEEK_CUR)
        base = self->position_;
    else if (whence == SEEK_END)
        base = size;
    const qint64 target = base + qint64(offset);
    if (target < 0 || offset > toff_t(INT64_MAX / 2))
        return toff_t(-1);
    self->position_ = target;
    return toff_t(target);
}

int TiffStream::closeProc(thandle_t)
{
    return 0;
}

toff_t TiffStream::sizeProc(thandle_t handle)
{
    auto *self = static_cast<TiffStream *>(handle);
    return toff_t(self->in_ ? self->in_->size() : self->out_.size());
}

int TiffStream::mapProc(thandle_t, void **, toff_t *)
{
    return 0;
}

void TiffStream::unmapProc(thandle_t, void *, toff_t) {}

int TiffStream::errorProc(TIFF *, void *user, const char *module, const char *format, va_list args)
{
    auto *self = static_cast<TiffStream *>(user);
    if (self->error_.isEmpty()) {
        char text[512];
        std::vsnprintf(text, sizeof text, format, args);
        self->error_ = module ? QStringLiteral("%1: %2").arg(QString::fromUtf8(module), QString::fromUtf8(text))
                              : QString::fromUtf8(text);
    }
    return 1;
}

int TiffStream::warningProc(TIFF *, void *, const char *, const char *, va_list)
{
    return 1;
}
