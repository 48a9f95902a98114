#pragma once

#include <QWidget>

class LedButton;
class QLabel;

// A lamp with its channel number beside it. A clickable one toggles on a press and reports the
// new state; the lamp shows it before any receiver runs.
class LedWidget : public QWidget
{
    Q_OBJECT
public:
    LedWidget(bool clickable, int nID, QWidget *parent);

    LedButton *ledButton() const { return m_ledButton; }
    QLabel *numberLabel() const { return m_numberLabel; }
    int id() const { return nID; }

signals:
    void on_click(int nID, bool bChecked);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    LedButton *m_ledButton;
    QLabel *m_numberLabel;
    const int nID;
};
