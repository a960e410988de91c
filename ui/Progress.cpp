#include "Progress.h"

#include "QuitSignals.h"

#include <QCoreApplication>
#include <QLabel>
#include <QProgressDialog>

namespace ui {

Progress::Progress(int total, int delayMs) : m_total(total), m_delayMs(delayMs)
{
    m_clock.start();
}

Progress::~Progress() = default;

void Progress::show()
{
    m_dialog = std::make_unique<QProgressDialog>(QApplication::activeWindow());
    m_dialog->setObjectName(QStringLiteral("ProgressDialog"));
    m_dialog->setWindowTitle(QStringLiteral("Kelvane"));
    m_dialog->setCancelButtonText(QStringLiteral("Cancel"));
    m_dialog->setWindowModality(Qt::ApplicationModal);
    m_dialog->setAutoClose(false);
    m_dialog->setAutoReset(false);
    // Shown when this says so, not when the dialog guesses the walk is long.
    m_dialog->setMinimumDuration(0);
    m_dialog->setRange(0, m_total);
    // Names from the catalogue, never markup; a long statement is cut, not
    // the dialog widened past the screen.
    auto *label = new QLabel(m_dialog.get());
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setMinimumWidth(420);
    m_dialog->setLabel(label);
    m_arrow.emplace();
    m_dialog->show();
}

bool Progress::step(int done, const QString &text)
{
    if (!m_dialog && m_clock.elapsed() >= m_delayMs)
        show();
    if (!m_dialog)
        return true;
    m_dialog->setLabelText(text);
    m_dialog->setValue(done);
    // The one moment in the walk where Cancel, or the end of the program,
    // can be heard.
    QCoreApplication::processEvents();
    return !m_dialog->wasCanceled() && !QuitSignals::quitting();
}

} // namespace ui
