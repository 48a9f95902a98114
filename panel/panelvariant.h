#pragma once

// What differs in the card panel between the tester builds. Whoever creates a panel hands it
// this; the panel knows nothing of the builds themselves.
struct PanelVariant
{
    // The PCIe card runs its pulse generators whatever its firmware, up to 32 of them.
    bool pcie = false;
};
