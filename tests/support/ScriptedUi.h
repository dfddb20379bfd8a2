#pragma once

#include "UiServices.h"

#include <QString>
#include <QStringList>

#include <deque>
#include <vector>

namespace nixora::test {

// UI services for tests: answers questions from a script and records everything shown.
class ScriptedUi final : public UiServices {
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

    std::vector<MessageBoxRequest> shown;
    std::vector<int> pointerHistory; // every pointer value set, in order
    std::vector<int> pointerAtMessage; // the pointer when each box was shown
    QString clipboard;
    int clipboardWrites = 0;
    QStringList opened;
    int processEventsCalls = 0;

private:
    std::deque<MsgAnswer> m_answers;
    int m_pointer = kPointerDefault;
};

} // namespace nixora::test
