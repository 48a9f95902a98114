#pragma once

#include <QColor>
#include <QWidget>

class QLabel;

// A round lamp with a caption, drawn with style sheets. A clickable lamp toggles itself on a
// left click that starts and ends on it and reports the new state.
class LEDLabel : public QWidget
{
    Q_OBJECT
public:
    explicit LEDLabel(QWidget *parent = nullptr);
    ~LEDLabel() override;

    void setState(bool state);
    bool state() const { return m_state; }
    void setText(const QString &text);
    QString text() const;
    void setClickable(bool clickable);
    bool isClickable() const { return m_clickable; }

    // The lamp's current style sheet, and how often it was rebuilt (to keep redraws honest).
    QString ledStyleSheet() const;
    int styleUpdates() const { return m_styleUpdates; }

signals:
    void clicked(bool currentState);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void updateStyle();
    bool hits(const QPoint &pos) const;

    QLabel *m_led;
    QLabel *m_text;
    QColor m_color = Qt::green;
    bool m_state = false;
    bool m_pressed = false;
    bool m_clickable = true;
    int m_styleUpdates = 0;
};
