#include "Application.h"

#include "QuitSignals.h"
#include "db/Exception.h"

#include <QApplication>
#include <QMessageBox>

namespace ui {

namespace {

QString g_title;
bool g_startingUp = false;
std::exception_ptr g_startupFailure;

QString rawMessage(std::exception_ptr failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const kelvane::Exception &e) {
        return e.message();
    } catch (const std::exception &e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("Unknown failure");
    }
}

void showMessageBox(const QString &text)
{
    QMessageBox box(QMessageBox::Critical, Application::title(), text, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.setObjectName(QStringLiteral("ExceptionMessageBox"));
    // Messages carry names from the catalogue: shown as they are, never as markup.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

} // namespace

void abortSilently()
{
    throw SilentAbort();
}

void Application::setTitle(const QString &title)
{
    g_title = title;
    // Not the display name: Qt would append that to every window caption.
    QApplication::setApplicationName(title);
}

QString Application::title()
{
    return g_title;
}

QString Application::messageText(std::exception_ptr failure)
{
    QString text = rawMessage(failure);
    if (!text.isEmpty() && text.back() > QLatin1Char('.'))
        text += QLatin1Char('.');
    return text;
}

void Application::handleException(std::exception_ptr failure)
{
    if (g_startingUp) {
        if (!g_startupFailure)
            g_startupFailure = failure;
        return;
    }
    if (QuitSignals::quitting()) {
        qWarning("%s", qPrintable(messageText(failure)));
        return;
    }
    showMessageBox(messageText(failure));
}

void Application::beginStartup()
{
    g_startingUp = true;
    g_startupFailure = nullptr;
}

void Application::endStartup()
{
    g_startingUp = false;
}

void Application::rethrowStartupFailure()
{
    if (std::exception_ptr failure = std::exchange(g_startupFailure, nullptr))
        std::rethrow_exception(failure);
}

void Application::showStartupFailure(std::exception_ptr failure)
{
    showMessageBox(messageText(failure));
}

} // namespace ui
