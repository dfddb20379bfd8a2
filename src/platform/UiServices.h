#pragma once

#include <QString>

namespace nixora
{

enum class MsgButtons { Ok, YesNo };
enum class MsgIcon { Exclamation, Question };
enum class MsgAnswer { Ok, Yes, No };

struct MessageBoxRequest {
    QString text; // line breaks are single line feeds
    QString title;
    MsgButtons buttons = MsgButtons::Ok;
    MsgIcon icon = MsgIcon::Exclamation;
    MsgAnswer defaultButton = MsgAnswer::Ok;
};

// Application-wide pointer values as the program names them.
inline constexpr int kPointerDefault = 0;
inline constexpr int kPointerHourglass = 11;

// What the program asks of the desktop. One Qt implementation; tests use a scripted one.
class UiServices
{
public:
    virtual ~UiServices() = default;

    virtual MsgAnswer messageBox(const MessageBoxRequest& request) = 0;

    // "Set to 11" and "set to 0": a plain setting, not a stack of overrides.
    virtual void setMousePointer(int pointer) = 0;
    [[nodiscard]] virtual int mousePointer() const = 0;

    virtual void processEvents() = 0;

    // Clears every format, then puts plain text on the clipboard.
    virtual void setClipboardText(const QString& text) = 0;

    // Hands a document, web address or mailto: address to the desktop, without waiting.
    virtual void shellOpen(const QString& target) = 0;

    // A long wait the user may end. Between beginWait() and endWait() a small box shows `text`
    // and a Cancel button; the windows keep painting but take no other input, and the mouse
    // pointer stays as it is. waitCancelled() handles pending events and tells whether Cancel
    // has been pressed. Without a desktop there is nothing to show and nothing cancels.
    virtual void beginWait(const QString& text) { (void)text; }
    [[nodiscard]] virtual bool waitCancelled()
    {
        processEvents();
        return false;
    }
    // How far the wait has come, for a wait that knows its length.
    virtual void setWaitProgress(int done, int total)
    {
        (void)done;
        (void)total;
    }
    virtual void endWait() {}
};

} // namespace nixora
