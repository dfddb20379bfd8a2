#include "ScriptedUi.h"

namespace nixora::test
{

MsgAnswer ScriptedUi::messageBox(const MessageBoxRequest& request)
{
    shown.push_back(request);
    pointerAtMessage.push_back(m_pointer);
    if (m_answers.empty())
        return request.defaultButton;
    const MsgAnswer answer = m_answers.front();
    m_answers.pop_front();
    return answer;
}

void ScriptedUi::setMousePointer(int pointer)
{
    m_pointer = pointer;
    pointerHistory.push_back(pointer);
}

void ScriptedUi::setClipboardText(const QString& text)
{
    clipboard = text;
    ++clipboardWrites;
}

} // namespace nixora::test
