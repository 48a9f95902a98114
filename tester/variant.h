#pragma once

#include <atomic>
#include <memory>

#include <QString>
#include <QStringList>

class MainWindow;

// What differs between the three tester builds. Each build links exactly one variant source
// that defines these.
namespace variant {

enum class Build { Net, Com, Pcie };

Build build();
// The board library's base name: "KAVRO_Net", "KAVRO" or "KAVRO_PCIE".
const char *libraryName();
// The base of the catalogue names: "KAVROApp_Net" gives "KAVROApp_Net_zh_CN.qm".
const char *catalogueBase();

struct SearchResult
{
    QStringList ports;
    QString okPorts;
};

// Run on a search's worker thread; the flag is read between probe steps.
SearchResult portListSearch(MainWindow &window, const std::atomic<bool> &cancel);
SearchResult cardSearch(MainWindow &window, const std::atomic<bool> &cancel);

} // namespace variant
