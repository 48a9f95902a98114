#pragma once

#include <chrono>
#include <thread>

// Polls pred until it holds or the time is up; the last answer is returned.
template <typename Pred>
bool waitUntil(Pred pred, std::chrono::milliseconds timeout = std::chrono::milliseconds(5000))
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (pred())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return pred();
}
