#pragma once

#include "UiServices.h"

#include <QPointer>

class QProgressDialog;
class QWidget;

namespace nixora
{

// The desktop as Qt offers it: QMessageBox, the application override cursor, QClipboard and
// QDesktopServices.
class QtUiServices final : public UiServices
{
public:
    // Message boxes are parented to the active window, or to `fallbackParent` when none is.
    explicit QtUiServices(QWidget* fallbackParent = nullptr);
    ~QtUiServices() override;

    MsgAnswer messageBox(const MessageBoxRequest& request) override;
    void setMousePointer(int pointer) override;
    [[nodiscard]] int mousePointer() const override { return m_pointer; }
    void processEvents() override;
    void setClipboardText(const QString& text) override;
    void shellOpen(const QString& target) override;
    void beginWait(const QString& text) override;
    void setWaitProgress(int done, int total) override;
    [[nodiscard]] bool waitCancelled() override;
    void endWait() override;

    void setFallbackParent(QWidget* parent) { m_fallbackParent = parent; }

private:
    QWidget* m_fallbackParent = nullptr;
    int m_pointer = kPointerDefault;
    QPointer<QProgressDialog> m_wait;
};

} // namespace nixora
