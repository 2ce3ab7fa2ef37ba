#pragma once
// Help hints: each hint action shows a fixed text in a popover beside the help button
// that was clicked, and morehelp() opens the help page shipped with the program at the
// latest hint's topic. Manual stands alone; the window connects its help buttons:
//   connect(button, &QAbstractButton::clicked, manual, [=] { manual->quality(button); });

#include <QFrame>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QUrl>

class QLabel;

// A transient frame with an arrow on one side, pointing at the control it explains.
// It closes when the person clicks or types anywhere else (a Qt::Popup window).
class HintPopover : public QFrame {
    Q_OBJECT
public:
    explicit HintPopover(QWidget *parent = nullptr);

    QLabel *textField() const { return textField_; }
    // Shows the popover with its content at `size`, beside `anchor` (global coordinates),
    // preferring the anchor's right edge; the left edge when that does not fit the screen.
    void showRelativeToRect(const QRect &anchor, const QSize &size);
    bool pointsLeft() const { return pointsLeft_; }
    // Closes the popover as if the person had dismissed it.
    void performClose();

signals:
    void moreHelpRequested();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QLabel *textField_;
    bool pointsLeft_ = true; // the arrow on the left side, the popover right of its anchor
    int arrowY_ = 0;
};

class Manual : public QObject {
    Q_OBJECT
public:
    explicit Manual(QObject *parent = nullptr);
    ~Manual() override;

    // The latest hint's popover (null before the first hint), and its topic title.
    HintPopover *hintPopover() const { return hintPopover_; }
    QString context() const { return context_; }

    void display(const QString &text, QWidget *sender);
    // The popover size for a text: the rectangle's origin, 438 wide, 67 high plus 17 for
    // every full 55 characters.
    static QRect resizeFrameForString(const QRect &frame, const QString &text);
    // Where the view lies on the screen: its size at its global origin; empty for null.
    static QRect convertToScreen(const QWidget *view);

    // The help page as a local file (written from the program's resources when missing
    // or outdated), at the anchor when one is given; empty when it cannot be written.
    static QUrl helpPageUrl(const QString &anchor = QString());
    // Opens the help page in the person's browser (the window's Help command uses it too);
    // false, with a log line and an alert that says where the page is, when that failed.
    static bool openHelpPage(const QString &anchor = QString());
    // The page anchor of a topic title: spaces become underscores ("Base format" -> "Base_format").
    static QString anchorForTopic(const QString &topic);

public slots:
    // The seven hints. Each remembers its topic and shows its text beside `sender`.
    void baseFormat(QWidget *sender);
    void filenameModifier(QWidget *sender);
    void outputFormat(QWidget *sender);
    void quality(QWidget *sender);
    void sharpening(QWidget *sender);
    void resizeMode(QWidget *sender);
    void relativeSizes(QWidget *sender);

    void closePopover();
    // Opens the help page in the person's browser, at the latest hint's topic.
    void morehelp();

private:
    void hint(const QString &topic, const QString &text, QWidget *sender);

    QPointer<HintPopover> hintPopover_;
    QString context_;
};
