#include "ledlabel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>

namespace {

const char *const kLedTemplate = "QLabel {   background-color: %1;   border-radius: 15px;   "
                                 "border: 1px solid darkgray;   opacity: %2;}";
const char *const kTextStyle = "QLabel {   color: black;   font-size: 18px;   padding-left: 2px;}";

} // namespace

LEDLabel::LEDLabel(QWidget *parent)
    : QWidget(parent), m_led(new QLabel(this)), m_text(new QLabel(this))
{
    m_led->setFixedSize(30, 30);
    m_text->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    auto *layout = new QHBoxLayout(this);
    layout->setSpacing(2);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_led);
    layout->addWidget(m_text);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    updateStyle();
}

LEDLabel::~LEDLabel() = default;

void LEDLabel::setState(bool state)
{
    if (state == m_state)
        return;
    m_state = state;
    updateStyle();
}

void LEDLabel::setText(const QString &text)
{
    m_text->setText(text);
}

QString LEDLabel::text() const
{
    return m_text->text();
}

void LEDLabel::setClickable(bool clickable)
{
    m_clickable = clickable;
}

QString LEDLabel::ledStyleSheet() const
{
    return m_led->styleSheet();
}

void LEDLabel::updateStyle()
{
    const QColor lamp = m_state ? m_color : m_color.darker(300);
    const QString opacity = m_pressed ? QStringLiteral("0.7")
                            : m_state ? QStringLiteral("1.0")
                                      : QStringLiteral("0.3");
    m_led->setStyleSheet(QString::fromLatin1(kLedTemplate).arg(lamp.name(), opacity));
    m_text->setStyleSheet(QString::fromLatin1(kTextStyle));
    ++m_styleUpdates;
}

bool LEDLabel::hits(const QPoint &pos) const
{
    return m_led->rect().contains(m_led->mapFrom(this, pos)) ||
           m_text->rect().contains(m_text->mapFrom(this, pos));
}

void LEDLabel::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && hits(event->pos())) {
        m_pressed = true;
        updateStyle();
    }
}

void LEDLabel::mouseReleaseEvent(QMouseEvent *event)
{
    if (m_clickable && event->button() == Qt::LeftButton && m_pressed && hits(event->pos())) {
        m_pressed = false;
        m_state = !m_state;
        updateStyle();
        emit clicked(m_state);
    }
    m_pressed = false;
    updateStyle();
}
