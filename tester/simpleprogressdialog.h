#pragma once

#include <QDialog>
#include <QPoint>

class QLabel;
class QProgressBar;
class QPushButton;

// A small frameless busy dialog with a Cancel button. It refuses Escape and closing, so it goes
// away only when its owner deletes it, and it can be dragged anywhere with the left button.
class SimpleProgressDialog : public QDialog
{
public:
    SimpleProgressDialog(const QString &labelText, const QString &cancelButtonText, int minimum,
                         int maximum, QWidget *parent);

    QLabel *messageLabel;
    QProgressBar *progressBar;
    QPushButton *cancelButton;

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    QPoint dragOffset;
};
