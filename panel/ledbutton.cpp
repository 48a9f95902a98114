#include "ledbutton.h"

const char *const LedButton::OffLook =
    "min-width: 16px; min-height: 16px;max-width:16px; max-height: 16px;border-radius: 8px;  "
    "border:1px solid grey;background:rgb(152,152,152)";
const char *const LedButton::OnLook =
    "min-width: 16px; min-height: 16px;max-width:16px; max-height: 16px;border-radius: 8px;  "
    "border:1px solid green;background:rgb(0,255,0)";

LedButton::LedButton(bool clickable) : QLabel(nullptr), bClickable(clickable)
{
    setStyleSheet(QString::fromLatin1(OffLook));
}

void LedButton::setChecked(bool checked)
{
    bChecked = checked;
    setStyleSheet(QString::fromLatin1(checked ? OnLook : OffLook));
}
