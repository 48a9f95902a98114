#include "searchgate.h"

namespace {
std::mutex workersMutex;
std::condition_variable workersDone;
int runningWorkers = 0;
} // namespace

void SearchGate::workerStarted()
{
    std::lock_guard<std::mutex> lock(workersMutex);
    ++runningWorkers;
}

void SearchGate::workerFinished()
{
    std::lock_guard<std::mutex> lock(workersMutex);
    --runningWorkers;
    workersDone.notify_all();
}

bool SearchGate::waitForWorkers(std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(workersMutex);
    return workersDone.wait_for(lock, timeout, [] { return runningWorkers == 0; });
}
