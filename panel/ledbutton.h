#pragma once

#include <QLabel>

// The panel's 16-pixel lamp. Only setChecked changes it; it emits nothing.
class LedButton : public QLabel
{
    Q_OBJECT
public:
    static const char *const OffLook;
    static const char *const OnLook;

    explicit LedButton(bool clickable);

    void setChecked(bool checked);
    bool isChecked() const { return bChecked; }
    bool isClickable() const { return bClickable; }

private:
    bool bChecked = false;
    const bool bClickable;
};
