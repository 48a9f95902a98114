#include "ledwidget.h"

#include "ledbutton.h"

#include <QHBoxLayout>
#include <QMouseEvent>

LedWidget::LedWidget(bool clickable, int id, QWidget *parent)
    : QWidget(parent), m_ledButton(new LedButton(clickable)), m_numberLabel(new QLabel), nID(id)
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(5, 5, 5, 5);
    layout->addWidget(m_ledButton);
    m_numberLabel->setMinimumSize(16, 16);
    m_numberLabel->setText(QString::number(nID));
    layout->addWidget(m_numberLabel);
}

void LedWidget::mousePressEvent(QMouseEvent *event)
{
    event->accept();
    if (!m_ledButton->isClickable())
        return;
    const bool checked = !m_ledButton->isChecked();
    m_ledButton->setChecked(checked);
    emit on_click(nID, checked);
}

void LedWidget::mouseReleaseEvent(QMouseEvent *event)
{
    event->accept();
}
