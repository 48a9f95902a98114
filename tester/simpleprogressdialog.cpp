#include "simpleprogressdialog.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

SimpleProgressDialog::SimpleProgressDialog(const QString &labelText,
                                           const QString &cancelButtonText, int minimum,
                                           int maximum, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
{
    messageLabel = new QLabel(labelText, this);
    messageLabel->setAlignment(Qt::AlignCenter);

    progressBar = new QProgressBar(this);
    if (minimum == maximum)
        progressBar->setRange(0, 0);
    else
        progressBar->setRange(minimum, maximum);

    cancelButton = new QPushButton(cancelButtonText, this);
    const QFontMetrics metrics(cancelButton->font());
    cancelButton->setMinimumSize(metrics.horizontalAdvance(cancelButtonText) + 20,
                                 metrics.height() + 20);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(5, 5, 5, 5);
    layout->addWidget(messageLabel);
    layout->addWidget(progressBar);
    auto *row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(cancelButton);
    row->addStretch();
    layout->addLayout(row);

    setMinimumSize(280, 100);
    setStyleSheet(QStringLiteral("QDialog {  background-color: white;  border: 1px solid #cccccc;  "
                                 "border-radius: 5px;}QPushButton {  padding: 3px;}"));
}

void SimpleProgressDialog::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        dragOffset = event->globalPos() - frameGeometry().topLeft();
        event->accept();
    }
}

void SimpleProgressDialog::mouseMoveEvent(QMouseEvent *event)
{
    if (event->buttons() & Qt::LeftButton) {
        move(event->globalPos() - dragOffset);
        event->accept();
    }
}

void SimpleProgressDialog::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        event->ignore();
        return;
    }
    QDialog::keyPressEvent(event);
}

void SimpleProgressDialog::closeEvent(QCloseEvent *event)
{
    event->ignore();
}
