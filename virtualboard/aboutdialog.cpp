#include "aboutdialog.h"

#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

AboutDialog::AboutDialog(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(tr("About"));
    setFixedSize(400, 300);

    auto *layout = new QVBoxLayout(this);
    layout->setSpacing(10);
    layout->setContentsMargins(20, 20, 20, 20);

    auto *icon = new QLabel(this);
    icon->setPixmap(QIcon(QStringLiteral(":/image/KAVROVirtualBoard.ico"))
                        .pixmap(80, 80)
                        .scaled(80, 80, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    icon->setAlignment(Qt::AlignCenter);
    layout->addWidget(icon);

    auto *title = new QLabel(QStringLiteral("KAVROVirtualBoard"), this);
    QFont font = title->font();
    font.setPointSize(16);
    font.setWeight(75);
    title->setFont(font);
    title->setAlignment(Qt::AlignCenter);
    layout->addWidget(title);

    auto *version = new QLabel(tr("Version 5.0.1"), this);
    version->setAlignment(Qt::AlignCenter);
    layout->addWidget(version);

    auto *description = new QLabel(tr("This is a software tool designed for simulating KAVRO "
                                      "cards, enabling faster development and testing."),
                                   this);
    description->setWordWrap(true);
    description->setAlignment(Qt::AlignCenter);
    layout->addWidget(description);

    layout->addStretch();
    auto *close = new QPushButton(tr("Close"), this);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(close, 0, Qt::AlignCenter);
}
