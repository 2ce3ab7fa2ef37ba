#pragma once
// A short message across the top of the window that does not stop the person: its text,
// at most one button that acts on it (such as opening the folder just saved to), and a
// button that closes it. A new message replaces the one shown.

#include <QFrame>

#include <functional>

class QLabel;
class QPushButton;
class QToolButton;

class WindowMessage : public QFrame {
    Q_OBJECT
public:
    enum class Kind { Information, Warning };

    explicit WindowMessage(QWidget *parent = nullptr);

    // Shows text; with actionText, a button that runs action (the message stays).
    void showMessage(const QString &text, Kind kind, const QString &actionText = QString(), std::function<void()> action = {});
    QString text() const;
    Kind kind() const { return kind_; }
    QPushButton *actionButton() const { return actionButton_; }
    QToolButton *closeButton() const { return closeButton_; }

protected:
    void changeEvent(QEvent *event) override;

private:
    void applyColours();

    QLabel *icon_;
    QLabel *label_;
    QPushButton *actionButton_;
    QToolButton *closeButton_;
    std::function<void()> action_;
    Kind kind_ = Kind::Information;
};
