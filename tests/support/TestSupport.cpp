#include "TestSupport.h"

#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <avif/avif.h>
#include <webp/decode.h>

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

QStringList formatNames(const QVariantList &list)
{
    QStringList names;
    for (const QVariant &record : list)
        names << record.toMap().value(QStringLiteral("name")).toString();
    return names;
}

std::shared_ptr<DismissedBox> dismissNextMessageBox(Dismissal how)
{
    auto seen = std::make_shared<DismissedBox>();
    QTimer::singleShot(0, [seen, how] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        seen->shown = true;
        seen->message = box->informativeText();
        if (how == Dismissal::EscapeKey)
            QTest::keyClick(box, Qt::Key_Escape);
        else
            box->close();
        if (box->isVisible()) {
            seen->leftOpen = true;
            box->defaultButton()->click();
        }
    });
    return seen;
}

QSize webPictureSize(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    const auto *data = reinterpret_cast<const uint8_t *>(bytes.constData());
    int width = 0, height = 0;
    if (WebPGetInfo(data, size_t(bytes.size()), &width, &height))
        return QSize(width, height);
    std::unique_ptr<avifDecoder, decltype(&avifDecoderDestroy)> decoder(avifDecoderCreate(), avifDecoderDestroy);
    if (avifDecoderSetIOMemory(decoder.get(), data, size_t(bytes.size())) == AVIF_RESULT_OK
        && avifDecoderParse(decoder.get()) == AVIF_RESULT_OK)
        return QSize(int(decoder->image->width), int(decoder->image->height));
    return {};
}
