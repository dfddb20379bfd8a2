#include "QtUiServices.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressDialog>
#include <QUrl>

namespace nixora
{

namespace
{

QMessageBox::StandardButton toStandardButton(MsgAnswer answer)
{
    switch (answer) {
    case MsgAnswer::Yes:
        return QMessageBox::Yes;
    case MsgAnswer::No:
        return QMessageBox::No;
    case MsgAnswer::Ok:
        break;
    }
    return QMessageBox::Ok;
}

MsgAnswer fromStandardButton(int button, MsgButtons buttons)
{
    if (buttons == MsgButtons::Ok)
        return MsgAnswer::Ok;
    return button == QMessageBox::Yes ? MsgAnswer::Yes : MsgAnswer::No;
}

} // namespace

QtUiServices::QtUiServices(QWidget* fallbackParent) : m_fallbackParent(fallbackParent) {}

QtUiServices::~QtUiServices()
{
    setMousePointer(kPointerDefault);
}

MsgAnswer QtUiServices::messageBox(const MessageBoxRequest& request)
{
    QWidget* parent = QApplication::activeWindow();
    if (parent == nullptr)
        parent = m_fallbackParent;
    QMessageBox box(request.icon == MsgIcon::Question ? QMessageBox::Question
                                                      : QMessageBox::Warning,
                    request.title, request.text, QMessageBox::NoButton, parent);
    if (request.buttons == MsgButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        // Closing the box with Esc or its close button answers No, as a Yes/No box does.
        box.setEscapeButton(QMessageBox::No);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    box.setDefaultButton(toStandardButton(request.defaultButton));
    return fromStandardButton(box.exec(), request.buttons);
}

void QtUiServices::setMousePointer(int pointer)
{
    // The program sets the pointer to a value rather than pushing and popping it, so at most
    // one override cursor is ever installed.
    const bool busy = pointer == kPointerHourglass;
    const bool wasBusy = m_pointer == kPointerHourglass;
    m_pointer = pointer;
    if (busy && !wasBusy)
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    else if (!busy && wasBusy)
        QGuiApplication::restoreOverrideCursor();
}

void QtUiServices::processEvents()
{
    QCoreApplication::processEvents();
}

// An application-modal box: the main window is repainted by the events handled while waiting,
// but takes no input. The override cursor is left as the caller set it.
void QtUiServices::beginWait(const QString& text)
{
    endWait();
    QWidget* parent =
        QApplication::activeWindow() ? QApplication::activeWindow() : m_fallbackParent;
    m_wait = new QProgressDialog(text, QStringLiteral("Cancel"), 0, 0, parent);
    m_wait->setObjectName(QStringLiteral("waitDialog"));
    m_wait->setWindowTitle(QStringLiteral("Nixora"));
    m_wait->setWindowModality(Qt::ApplicationModal);
    m_wait->setMinimumDuration(0);
    m_wait->setAutoClose(false);
    m_wait->setAutoReset(false);
    m_wait->show();
    QCoreApplication::processEvents();
}

void QtUiServices::setWaitProgress(int done, int total)
{
    if (!m_wait)
        return;
    m_wait->setMaximum(total);
    m_wait->setValue(done);
}

bool QtUiServices::waitCancelled()
{
    QCoreApplication::processEvents();
    return m_wait && m_wait->wasCanceled();
}

void QtUiServices::endWait()
{
    if (m_wait)
        delete m_wait.data();
}

void QtUiServices::setClipboardText(const QString& text)
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    auto* data = new QMimeData;
    data->setText(text);
    clipboard->setMimeData(data);
}

void QtUiServices::shellOpen(const QString& target)
{
    const QUrl url =
        QDir::isAbsolutePath(target) ? QUrl::fromLocalFile(target) : QUrl(target, QUrl::StrictMode);
    QDesktopServices::openUrl(url);
}

} // namespace nixora
