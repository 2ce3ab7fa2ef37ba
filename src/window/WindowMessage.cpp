#include "WindowMessage.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>

namespace {

QColor blend(const QColor &base, const QColor &tint, double amount)
{
    return QColor::fromRgbF(float(base.redF() * (1 - amount) + tint.redF() * amount),
                            float(base.greenF() * (1 - amount) + tint.greenF() * amount),
                            float(base.blueF() * (1 - amount) + tint.blueF() * amount));
}

} // namespace

WindowMessage::WindowMessage(QWidget *parent) : QFrame(parent)
{
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    setAccessibleName(QStringLiteral("Message"));
    icon_ = new QLabel;
    label_ = new QLabel;
    label_->setWordWrap(true);
    label_->setTextFormat(Qt::PlainText);
    label_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    actionButton_ = new QPushButton;
    actionButton_->setAutoDefault(false);
    closeButton_ = new QToolButton;
    closeButton_->setAutoRaise(true);
    closeButton_->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton));
    closeButton_->setToolTip(QStringLiteral("Close this message"));
    closeButton_->setAccessibleName(closeButton_->toolTip());

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 6, 4, 6);
    layout->addWidget(icon_, 0, Qt::AlignTop);
    layout->addWidget(label_, 1);
    layout->addWidget(actionButton_, 0, Qt::AlignTop);
    layout->addWidget(closeButton_, 0, Qt::AlignTop);

    connect(actionButton_, &QPushButton::clicked, this, [this] {
        if (action_)
            action_();
    });
    connect(closeButton_, &QToolButton::clicked, this, &QWidget::hide);
    hide();
}

void WindowMessage::showMessage(const QString &text, Kind kind, const QString &actionText, std::function<void()> action)
{
    kind_ = kind;
    label_->setText(text);
    action_ = std::move(action);
    actionButton_->setText(actionText);
    actionButton_->setVisible(!actionText.isEmpty());
    applyColours();
    show();
}

QString WindowMessage::text() const
{
    return label_->text();
}

void WindowMessage::changeEvent(QEvent *event)
{
    QFrame::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange)
        applyColours();
}

void WindowMessage::applyColours()
{
    // Tinted from the desktop's own colours, so it reads in a dark palette as in a light one.
    const QPalette standard = parentWidget() ? parentWidget()->palette() : QPalette();
    const QColor tint = kind_ == Kind::Warning ? QColor(230, 160, 0) : standard.color(QPalette::Highlight);
    QPalette own = palette();
    own.setColor(QPalette::Window, blend(standard.color(QPalette::Window), tint, kind_ == Kind::Warning ? 0.25 : 0.18));
    own.setColor(QPalette::WindowText, standard.color(QPalette::WindowText));
    if (own != palette())
        setPalette(own);
    const int side = style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this);
    icon_->setPixmap(style()->standardIcon(kind_ == Kind::Warning ? QStyle::SP_MessageBoxWarning : QStyle::SP_MessageBoxInformation)
                         .pixmap(QSize(side, side), devicePixelRatioF()));
}
