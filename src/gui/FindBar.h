#pragma once

#include <QToolBar>

class QLineEdit;

namespace nixora
{

// The one-line find field at the bottom of the main window. Typing filters the visible list;
// Esc closes the bar (the window then shows every row again).
class FindBar final : public QToolBar
{
    Q_OBJECT
public:
    explicit FindBar(QWidget* parent = nullptr);

    // Shows the bar with the focus in its field (the text is kept, and selected).
    void open();
    [[nodiscard]] bool isOpen() const { return isVisible(); }
    // The text to filter by: empty while the bar is closed.
    [[nodiscard]] QString text() const;

signals:
    void changed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* m_field = nullptr;
};

} // namespace nixora
