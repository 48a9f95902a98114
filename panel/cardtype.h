#pragma once

// What a card type code says: its name and its channel counts.
struct CardTypeInfo
{
    const char *name; // shown as it stands; nullptr for an unknown code
    int inputs;
    int outputs;
};

CardTypeInfo cardTypeInfo(int code);
