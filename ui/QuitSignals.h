#pragma once

#include <QObject>
#include <memory>

class QSocketNotifier;

namespace ui {

// Ends the program as its exit button does when the desktop session logs
// out (SIGTERM), the terminal is closed (SIGHUP) or Ctrl+C is pressed
// (SIGINT): every window closes, a command in flight stops at its next step
// and is undone, and the connection goes with the main window. The handler
// only writes a byte to a pipe; the work is done by the event loop.
class QuitSignals : public QObject
{
    Q_OBJECT
public:
    QuitSignals();
    ~QuitSignals() override;
    QuitSignals(const QuitSignals &) = delete;
    QuitSignals &operator=(const QuitSignals &) = delete;

    // Takes the signals back from a library that set handlers of its own:
    // the Firebird client does when it is loaded.
    static void reclaim();
    // Whether the program has been asked to end: from then on dialogs
    // answer Cancel or No at once, failures go to the log instead of a
    // message box, and a walk in progress counts as cancelled.
    [[nodiscard]] static bool quitting();

private:
    void quit();

    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace ui
