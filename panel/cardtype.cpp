#include "cardtype.h"

CardTypeInfo cardTypeInfo(int code)
{
    switch (code) {
    case 1:
        return {"4In4Out", 4, 4};
    case 2:
        return {"5In4Out", 5, 4};
    case 3:
        return {"5In5Out", 5, 5};
    case 4:
        return {"5In6Out", 5, 6};
    case 5:
        return {"8In8Out", 8, 8};
    case 6:
        return {"31In28Out", 31, 28};
    case 7:
        return {"32In32Out", 32, 32};
    case 8:
        return {"16In16Out", 16, 16};
    case 164:
        return {"ADC4In6Out", 4, 6};
    case 241:
        return {"32In28Out", 32, 28};
    case 248:
        return {"5In4Out", 5, 4};
    case 254:
        return {"32In32Out", 32, 32};
    case 255:
        return {"I/O_MAXADC", 160, 160};
    default:
        return {nullptr, 32, 32};
    }
}
