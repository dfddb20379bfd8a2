#pragma once

#include "UiServices.h"

#include <QString>
#include <QStringList>

#include <deque>
#include <utility>
#include <vector>

namespace nixora::test
{

// UI services for tests: answers questions from a script and records everything shown.
class ScriptedUi final : public UiServices
{
public:
    // Answers for the next message boxes, in order. With none left, a box is answered with its
    // default button.
    void queueAnswer(MsgAnswer answer) { m_answers.push_back(answer); }

    MsgAnswer messageBox(const MessageBoxRequest& request) override;
    void setMousePointer(int pointer) override;
    [[nodiscard]] int mousePointer() const override { return m_pointer; }
    void processEvents() override { ++processEventsCalls; }
    void setClipboardText(const QString& text) override;
    void shellOpen(const QString& target) override { opened.push_back(target); }
    void beginWait(const QString& text) override { waits << text; }
    void setWaitProgress(int done, int total) override { waitProgress = {done, total}; }
    // Cancel is pressed at the check numbered cancelAtCheck (from 0); never when negative.
    [[nodiscard]] bool waitCancelled() override
    {
        processEvents();
        return waitChecks++ == cancelAtCheck;
    }

    std::vector<MessageBoxRequest> shown;
    std::vector<int> pointerHistory;   // every pointer value set, in order
    std::vector<int> pointerAtMessage; // the pointer when each box was shown
    QString clipboard;
    int clipboardWrites = 0;
    QStringList opened;
    int processEventsCalls = 0;
    QStringList waits; // the text of every wait box begun
    std::pair<int, int> waitProgress{0, 0};
    int waitChecks = 0;
    int cancelAtCheck = -1;

private:
    std::deque<MsgAnswer> m_answers;
    int m_pointer = kPointerDefault;
};

} // namespace nixora::test
