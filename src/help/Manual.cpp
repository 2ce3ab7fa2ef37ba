#include "Manual.h"

#include "AppPaths.h"
#include "Dialogs.h"
#include "Log.h"
#include "SafeFileCopy.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QToolButton>
#include <QVBoxLayout>

static void initHelpResources()
{
    // The resources live in a static library; without this the linker may drop them.
    Q_INIT_RESOURCE(quillpane_help);
}

namespace {

constexpr int kArrowDepth = 10;
constexpr int kArrowHalfWidth = 9;

const QString kHelpResource = QStringLiteral(":/help/quillpane-help.html");
const QString kHelpFileName = QStringLiteral("help/quillpane-help.html");

} // namespace

HintPopover::HintPopover(QWidget *parent)
    : QFrame(parent, Qt::Popup | Qt::FramelessWindowHint)
    , textField_(new QLabel(this))
{
    textField_->setWordWrap(true);
    textField_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    textField_->setTextFormat(Qt::PlainText);
    textField_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto *moreHelp = new QToolButton(this);
    moreHelp->setText(tr("More help…"));
    moreHelp->setAutoRaise(true);
    moreHelp->setObjectName(QStringLiteral("moreHelpButton"));
    connect(moreHelp, &QToolButton::clicked, this, [this] {
        close();
        emit moreHelpRequested();
    });

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(kArrowDepth + 12, 8, 12, 4);
    layout->setSpacing(2);
    layout->addWidget(textField_, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(moreHelp);
    layout->addLayout(buttons);
}

void HintPopover::showRelativeToRect(const QRect &anchor, const QSize &size)
{
    setFixedSize(size);
    QScreen *screen = QGuiApplication::screenAt(anchor.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect(anchor.topLeft(), size);

    pointsLeft_ = anchor.right() + 1 + size.width() <= available.right() + 1
        || anchor.left() - size.width() < available.left();
    const int x = pointsLeft_ ? anchor.right() + 1 : anchor.left() - size.width();
    int y = anchor.center().y() - size.height() / 2;
    y = std::clamp(y, available.top(), std::max(available.top(), available.bottom() + 1 - size.height()));
    arrowY_ = std::clamp(anchor.center().y() - y, kArrowHalfWidth + 4, size.height() - kArrowHalfWidth - 4);

    QMargins margins = layout()->contentsMargins();
    margins.setLeft(pointsLeft_ ? kArrowDepth + 12 : 12);
    margins.setRight(pointsLeft_ ? 12 : kArrowDepth + 12);
    layout()->setContentsMargins(margins);

    // Shape the window itself, so the arrow needs no compositor.
    QPolygon outline;
    const int w = size.width(), h = size.height();
    if (pointsLeft_) {
        outline << QPoint(0, arrowY_) << QPoint(kArrowDepth, arrowY_ - kArrowHalfWidth) << QPoint(kArrowDepth, 0)
                << QPoint(w, 0) << QPoint(w, h) << QPoint(kArrowDepth, h)
                << QPoint(kArrowDepth, arrowY_ + kArrowHalfWidth);
    } else {
        const int edge = w - kArrowDepth;
        outline << QPoint(w, arrowY_) << QPoint(edge, arrowY_ + kArrowHalfWidth) << QPoint(edge, h) << QPoint(0, h)
                << QPoint(0, 0) << QPoint(edge, 0) << QPoint(edge, arrowY_ - kArrowHalfWidth);
    }
    setMask(QRegion(outline));
    move(x, y);
    show();
}

void HintPopover::performClose()
{
    close();
}

void HintPopover::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QRect body = pointsLeft_ ? rect().adjusted(kArrowDepth, 0, 0, 0) : rect().adjusted(0, 0, -kArrowDepth, 0);
    const QColor fill = palette().color(QPalette::ToolTipBase);
    painter.fillRect(rect(), fill);
    painter.setPen(palette().color(QPalette::Mid));
    const int tip = pointsLeft_ ? 0 : width() - 1;
    const int base = pointsLeft_ ? body.left() : body.right();
    QPolygon border;
    border << QPoint(base, arrowY_ - kArrowHalfWidth) << QPoint(tip, arrowY_)
           << QPoint(base, arrowY_ + kArrowHalfWidth);
    painter.drawPolyline(border);
    painter.drawLine(body.topLeft(), body.topRight());
    painter.drawLine(body.bottomLeft(), body.bottomRight());
    painter.drawLine(pointsLeft_ ? body.topRight() : body.topLeft(), pointsLeft_ ? body.bottomRight() : body.bottomLeft());
    painter.drawLine(QPoint(base, body.top()), QPoint(base, arrowY_ - kArrowHalfWidth));
    painter.drawLine(QPoint(base, arrowY_ + kArrowHalfWidth), QPoint(base, body.bottom()));
}

Manual::Manual(QObject *parent)
    : QObject(parent)
{
    initHelpResources();
}

Manual::~Manual()
{
    delete hintPopover_.data();
}

QRect Manual::resizeFrameForString(const QRect &frame, const QString &text)
{
    return QRect(frame.topLeft(), QSize(438, 67 + 17 * int(text.size() / 55)));
}

QRect Manual::convertToScreen(const QWidget *view)
{
    if (!view)
        return QRect();
    return QRect(view->mapToGlobal(QPoint(0, 0)), view->size());
}

void Manual::display(const QString &text, QWidget *sender)
{
    const QRect frame = resizeFrameForString(convertToScreen(sender), text);
    if (hintPopover_) {
        hintPopover_->close();
        hintPopover_->deleteLater();
    }
    // A child of the sender's window, so it goes away with that window.
    hintPopover_ = new HintPopover(sender ? sender->window() : nullptr);
    connect(hintPopover_, &HintPopover::moreHelpRequested, this, &Manual::morehelp);
    hintPopover_->textField()->setText(text);
    hintPopover_->showRelativeToRect(convertToScreen(sender), frame.size());
}

void Manual::hint(const QString &topic, const QString &text, QWidget *sender)
{
    context_ = topic;
    display(text, sender);
}

void Manual::baseFormat(QWidget *sender)
{
    hint(QStringLiteral("Base format"),
         QStringLiteral("This is the size in actual pixels of the base output file. If you constrain proportions, "
                        "then the aspect ratio will be locked to that of the original file."),
         sender);
}

void Manual::filenameModifier(QWidget *sender)
{
    hint(QStringLiteral("Filename modifier"),
         QStringLiteral("Each additional format will be saved with a similar filename, modified using this modifier. "
                        "For example, if you're saving an image 1000px wide, add -1000px"),
         sender);
}

void Manual::outputFormat(QWidget *sender)
{
    hint(QStringLiteral("Output format"),
         QStringLiteral("jpeg and png are suitable for the web. jpg can be compressed as much as you choose to make a "
                        "smaller file but quality is lost. tiff preserves the original image data the best but gives "
                        "the largest file size and is not so suitable for web. The file size shown is the size of the "
                        "base format."),
         sender);
}

void Manual::quality(QWidget *sender)
{
    hint(QStringLiteral("Quality slider"),
         QStringLiteral("This setting applies to jpg files only, you can sacrifice a little quality in the output "
                        "image in return for a smaller file size."),
         sender);
}

void Manual::sharpening(QWidget *sender)
{
    hint(QStringLiteral("Sharpen slider"),
         QStringLiteral("This setting applies some additional sharpening to the output image. Even with no additional "
                        "sharpening applied here, the image has already been resized using Lanczos resampling rather "
                        "than the more usual bicubic which gives a crisper result.  Use the magic wand to see some "
                        "additional correction tools; exposure, contrast, saturation."),
         sender);
}

void Manual::resizeMode(QWidget *sender)
{
    hint(QStringLiteral("Resize mode"),
         QStringLiteral("If you choose not to constrain the proportions of the original image then you can make a "
                        "wider or taller image. In that case you can choose to crop the original to size, or to add "
                        "grey, black or white."),
         sender);
}

void Manual::relativeSizes(QWidget *sender)
{
    hint(QStringLiteral("Resize mode"),
         QStringLiteral("You can base these sizes on the size of the original image or your first resize (eg, for 2x "
                        "and 3x versions of your thumbnail for the web). Give sizes as multiples, eg 2 or 0.5, not "
                        "200%, or 50%"),
         sender);
}

void Manual::closePopover()
{
    if (hintPopover_)
        hintPopover_->performClose();
}

QString Manual::anchorForTopic(const QString &topic)
{
    return QString(topic).replace(QLatin1Char(' '), QLatin1Char('_'));
}

QUrl Manual::helpPageUrl(const QString &anchor)
{
    initHelpResources();
    QFile resource(kHelpResource);
    if (!resource.open(QIODevice::ReadOnly)) {
        qpLog(QStringLiteral("Help page missing from the program's resources"));
        return QUrl();
    }
    const QByteArray page = resource.readAll();
    const QString path = QDir(AppPaths::supportFolder()).filePath(kHelpFileName);

    // Written only when it differs, so an open browser tab is not disturbed needlessly.
    QFile existing(path);
    const bool current = existing.open(QIODevice::ReadOnly) && existing.readAll() == page;
    existing.close();
    if (!current) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        if (!writeFileReplacing(path, page)) {
            qpLog(QStringLiteral("Error writing to file: %1").arg(path));
            return QUrl();
        }
    }
    QUrl url = QUrl::fromLocalFile(path);
    if (!anchor.isEmpty())
        url.setFragment(anchor);
    return url;
}

bool Manual::openHelpPage(const QString &anchor)
{
    const QUrl url = helpPageUrl(anchor);
    if (url.isEmpty())
        return false;
    if (!QDesktopServices::openUrl(url)) {
        qpLog(QStringLiteral("Unable to open the help page %1").arg(url.toString()));
        // Without a browser the page is still there to be read: say where.
        DialogPresenter::current().runAlertPanel(
            {QStringLiteral("Help"),
             QStringLiteral("No web browser could be opened to show the help page. You can open it in any browser from "
                            "this file:\n\n%1")
                 .arg(url.toLocalFile()),
             QStringLiteral("OK"), QString(), QString(), AlertDefault});
        return false;
    }
    return true;
}

void Manual::morehelp()
{
    openHelpPage(anchorForTopic(context_));
}
