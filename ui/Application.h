#pragma once

#include <QString>
#include <exception>
#include <utility>

class QObject;

namespace ui {

// Ends the running handler without any message; raised in an on-popup
// handler it keeps the menu from showing.
struct SilentAbort
{
};
[[noreturn]] void abortSilently();

// The application-wide title and the default handler for failures that no
// handler caught.
class Application
{
public:
    static void setTitle(const QString &title);
    [[nodiscard]] static QString title();

    // The message of a failure as shown: a full stop is appended when the
    // last character sorts above '.'.
    [[nodiscard]] static QString messageText(std::exception_ptr failure);
    // Shows the failure in a message box titled with the application title,
    // or, during start-up, keeps it for the start-up code to report.
    static void handleException(std::exception_ptr failure);

    // Between these two, failures are kept instead of shown, so that a
    // failure before the event loop runs can end the program.
    static void beginStartup();
    static void endStartup();
    // Rethrows the first failure kept during start-up, if any.
    static void rethrowStartupFailure();
    // Shows a failure that ended the start-up.
    static void showStartupFailure(std::exception_ptr failure);
};

// Runs one event handler: a silent abort shows nothing, any other failure
// goes to the default handler, and nothing ever crosses Qt's event loop.
// Returns whether the handler ran to its end.
template <typename Handler> bool guarded(Handler &&handler) noexcept
{
    try {
        std::forward<Handler>(handler)();
        return true;
    } catch (const SilentAbort &) {
        return false;
    } catch (...) {
        Application::handleException(std::current_exception());
        return false;
    }
}

} // namespace ui
