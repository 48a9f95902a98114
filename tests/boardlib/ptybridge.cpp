#include "ptybridge.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

PtyBridge::PtyBridge(unsigned short tcpPort)
{
    char dirTemplate[] = "/tmp/kavro-pty-XXXXXX";
    if (!mkdtemp(dirTemplate))
        return;
    m_dir = dirTemplate;
    m_link = m_dir + "/ttyKAVRO";
    const std::string pty = "pty,raw,echo=0,link=" + m_link;
    const std::string tcp = "tcp:127.0.0.1:" + std::to_string(tcpPort);
    m_pid = fork();
    if (m_pid == 0) {
        execlp("socat", "socat", pty.c_str(), tcp.c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
    struct stat st;
    for (int i = 0; i < 500 && !m_ready; ++i) {
        m_ready = lstat(m_link.c_str(), &st) == 0;
        if (!m_ready)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

PtyBridge::~PtyBridge()
{
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
    }
    if (!m_link.empty())
        unlink(m_link.c_str());
    if (!m_dir.empty())
        rmdir(m_dir.c_str());
}
