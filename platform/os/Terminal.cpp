#include "platform/os/Terminal.h"

#include <QByteArray>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <memory>
#include <termios.h>
#include <unistd.h>

namespace txl::os {

namespace {

struct termios g_saved;
volatile sig_atomic_t g_echoOff = 0;

void restoreAndRaise(int signo)
{
    if (g_echoOff)
        tcsetattr(STDIN_FILENO, TCSANOW, &g_saved);
    signal(signo, SIG_DFL);
    raise(signo);
}

// Echo off for the life of this object, on again however the read ends.
class HiddenInput {
public:
    HiddenInput()
    {
        if (tcgetattr(STDIN_FILENO, &g_saved) != 0)
            return;
        struct sigaction action = {};
        action.sa_handler = restoreAndRaise;
        sigemptyset(&action.sa_mask);
        for (int i = 0; i < 3; ++i)
            sigaction(kSignals[i], &action, &m_old[i]);
        struct termios quiet = g_saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ECHONL;
        g_echoOff = tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
        m_active = true;
    }
    ~HiddenInput()
    {
        if (!m_active)
            return;
        if (g_echoOff)
            tcsetattr(STDIN_FILENO, TCSAFLUSH, &g_saved);
        g_echoOff = 0;
        for (int i = 0; i < 3; ++i)
            sigaction(kSignals[i], &m_old[i], nullptr);
    }
    HiddenInput(const HiddenInput &) = delete;
    HiddenInput &operator=(const HiddenInput &) = delete;

private:
    static constexpr int kSignals[3] = { SIGINT, SIGTERM, SIGHUP };
    struct sigaction m_old[3];
    bool m_active = false;
};

void wipe(QByteArray &bytes)
{
    bytes.fill('\0');
    bytes.clear();
}

} // namespace

bool standardInputIsTerminal()
{
    return isatty(STDIN_FILENO) == 1;
}

bool readLine(QString &line, bool hidden, const QString &prompt)
{
    line = QString();
    const bool terminal = standardInputIsTerminal();
    if (!prompt.isEmpty() && terminal) {
        const QByteArray text = prompt.toLocal8Bit();
        fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stderr);
        fflush(stderr);
    }
    QByteArray bytes;
    bytes.reserve(256); // grows rarely, so few stale copies are left behind
    bool gotAny = false;
    {
        std::unique_ptr<HiddenInput> quiet;
        if (hidden && terminal)
            quiet.reset(new HiddenInput);
        char c = 0;
        for (;;) {
            const ssize_t n = ::read(STDIN_FILENO, &c, 1);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            gotAny = true;
            if (c == '\n')
                break;
            bytes.append(c);
        }
        c = 0;
    }
    if (bytes.endsWith('\r'))
        bytes.chop(1);
    line = QString::fromUtf8(bytes);
    wipe(bytes);
    return gotAny;
}

} // namespace txl::os
