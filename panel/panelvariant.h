#pragma once

// The one construction step in which the PCIe tester's panel differs. Each tester build
// defines this in its variant source.
bool kavroPanelIsPcie();
