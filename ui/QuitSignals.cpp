#include "QuitSignals.h"

#include <QApplication>
#include <QDialog>
#include <QMenu>
#include <QSocketNotifier>
#include <QWidget>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace ui {

namespace {

constexpr int Signals[] = {SIGTERM, SIGINT, SIGHUP};

int g_pipe[2] = {-1, -1};
bool g_quitting = false;
QuitSignals *g_instance = nullptr;

extern "C" void onSignal(int)
{
    const char byte = 1;
    // Nothing but a write is safe here; a full pipe already has the news.
    [[maybe_unused]] const ssize_t written = ::write(g_pipe[1], &byte, 1);
}

void install()
{
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : Signals)
        sigaction(signal, &action, nullptr);
}

} // namespace

QuitSignals::QuitSignals()
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_pipe) != 0)
        return; // without the pipe the signals keep their default: the program ends at once
    m_notifier = std::make_unique<QSocketNotifier>(g_pipe[0], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] {
        char byte;
        [[maybe_unused]] const ssize_t read = ::read(g_pipe[0], &byte, 1);
        quit();
    });
    g_instance = this;
    g_quitting = false;
    install();
}

QuitSignals::~QuitSignals()
{
    for (int signal : Signals)
        std::signal(signal, SIG_DFL);
    m_notifier.reset();
    for (int &end : g_pipe) {
        if (end >= 0)
            ::close(end);
        end = -1;
    }
    g_instance = nullptr;
    g_quitting = false;
}

void QuitSignals::reclaim()
{
    if (!g_instance)
        return;
    struct sigaction current = {};
    for (int signal : Signals) {
        sigaction(signal, nullptr, &current);
        if (current.sa_handler != onSignal) {
            install();
            return;
        }
    }
}

bool QuitSignals::quitting()
{
    return g_quitting;
}

void QuitSignals::quit()
{
    g_quitting = true;
    // A dialog or menu waiting for an answer gets none; its handler goes on
    // as after Cancel, and the window behind it then closes.
    while (QWidget *modal = QApplication::activeModalWidget()) {
        if (auto *dialog = qobject_cast<QDialog *>(modal))
            dialog->reject();
        else
            modal->close();
        if (QApplication::activeModalWidget() == modal)
            break;
    }
    if (QWidget *popup = QApplication::activePopupWidget())
        popup->close();
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (window->isVisible() && !window->parentWidget())
            window->close();
    }
}

} // namespace ui
