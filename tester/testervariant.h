#pragma once

#include "panel/panelvariant.h"

#include <atomic>
#include <functional>

#include <QString>
#include <QStringList>

class MainWindow;

// What a search hands back to the window: the ports for the connection field, and for a card
// search the text that names the cards found.
struct SearchResult
{
    QStringList ports;
    QString okPorts;
};

// Runs on a search's worker thread; the flag is read between probe steps.
using SearchFunction = std::function<SearchResult(MainWindow &, const std::atomic<bool> &)>;

// What differs between the tester builds: the network, serial-port and PCIe testers are one
// window given three of these.
struct TesterVariant
{
    // The board library's base name, looked for in the version line: "KAVRO_Net".
    QString libraryName;
    // The base of the catalogue names: "KAVROApp_Net" gives "KAVROApp_Net_zh_CN.qm".
    QString catalogueBase;
    QString tabIcon;

    // The connection bar. The caption of `label` is a text of the context "MainWindow"; null
    // keeps the form's own.
    const char *portCaption = nullptr;
    // An address and a port field, the card's key "address:port". Without it the field is
    // comboBoxBoardNo and holds the whole key.
    bool portField = false;
    // The settings group keeping the last connection; empty when it is not kept.
    QString lastConnectionGroup;
    // Set when the field's text is the card number itself (PCIe): nothing is assigned or
    // remembered, and every card opens under this port text. Unset, each key gets the lowest
    // free number and opens under its own text.
    QString fixedPortText;

    // Refresh fills these at once, without a search, when there are any.
    QStringList fixedPorts;
    // The port-list search and its dialog text, in the context "MainWindow".
    SearchFunction portListSearch;
    const char *portListSearchText = nullptr;
    SearchFunction cardSearch;
    // A card search that finds nothing says so as an error, not as information.
    bool notFoundIsError = false;

    PanelVariant panel;
};

// The build's own variant. Each tester build links exactly one variant source, which defines it.
TesterVariant testerVariant();
