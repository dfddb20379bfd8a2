// Mouse and keyboard handling of the main window's two lists.
#include "frmPoisto.h"

#include "ListViewQtModel.h"
#include "backup/BackupList.h"
#include "inventory/EntryListInteraction.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QTableView>

namespace nixora
{

namespace
{

constexpr double kTwipsPerPixel = 15.0;
constexpr int kPageLeft = 240;
constexpr int kPageTop = 720;

int16_t vbButton(Qt::MouseButton button)
{
    switch (button) {
    case Qt::LeftButton:
        return 1;
    case Qt::RightButton:
        return 2;
    case Qt::MiddleButton:
        return 4;
    default:
        return 0;
    }
}

int16_t vbShift(Qt::KeyboardModifiers modifiers)
{
    int16_t bits = 0;
    if (modifiers & Qt::ShiftModifier)
        bits |= 1;
    if (modifiers & Qt::ControlModifier)
        bits |= 2;
    if (modifiers & Qt::AltModifier)
        bits |= 4;
    return bits;
}

int16_t vbKeyCode(int qtKey)
{
    switch (qtKey) {
    case Qt::Key_Menu:
        return 93;
    case Qt::Key_F10:
        return 121;
    default:
        return 0;
    }
}

} // namespace

// Key preview: the window sees every key pressed in it before the focused control does.
class frmPoisto::KeyPreview final : public QObject
{
public:
    explicit KeyPreview(frmPoisto* window) : QObject(window), m_window(window) {}

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget == nullptr || widget->window() != m_window)
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        if (const int step = pageStep(*key); step != 0) {
            m_window->switchPage(step);
            return true;
        }
        const int16_t code = vbKeyCode(key->key());
        return code != 0 && m_window->Form_KeyDown(code, vbShift(key->modifiers()));
    }

    // 1 for Ctrl+Tab and Ctrl+PgDn, -1 for Ctrl+Shift+Tab and Ctrl+PgUp, as tab controls have
    // them; else 0.
    [[nodiscard]] static int pageStep(const QKeyEvent& key)
    {
        const Qt::KeyboardModifiers mods = key.modifiers() & ~Qt::KeypadModifier;
        if (!(mods & Qt::ControlModifier) || (mods & (Qt::AltModifier | Qt::MetaModifier)))
            return 0;
        const bool shift = mods & Qt::ShiftModifier;
        switch (key.key()) {
        case Qt::Key_Tab:
            return shift ? -1 : 1;
        case Qt::Key_Backtab:
            return -1;
        case Qt::Key_PageDown:
            return shift ? 0 : 1;
        case Qt::Key_PageUp:
            return shift ? 0 : -1;
        default:
            return 0;
        }
    }

private:
    frmPoisto* m_window;
};

void frmPoisto::enableKeyPreview()
{
    if (m_keyPreview == nullptr) {
        m_keyPreview = new KeyPreview(this);
        qApp->installEventFilter(m_keyPreview);
    }
}

bool frmPoisto::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_lvwOhjelmat->viewport())
        return listMouseEvent(m_lvwOhjelmat, event);
    if (watched == m_lvwPalauta->viewport())
        return listMouseEvent(m_lvwPalauta, event);
    return QMainWindow::eventFilter(watched, event);
}

// Turns Qt's press and release into the list's MouseDown, ItemClick, Click and MouseUp, in that
// order, with positions in twips inside the list. A right-button click selects the row under
// the pointer too, so the popup always belongs to the row the user pointed at.
bool frmPoisto::listMouseEvent(QTableView* view, QEvent* event)
{
    if (event->type() != QEvent::MouseButtonPress && event->type() != QEvent::MouseButtonRelease)
        return false;
    const auto* mouse = static_cast<QMouseEvent*>(event);
    const QPoint inViewport = mouse->position().toPoint();
    const QPoint inList = view->viewport()->mapTo(view, inViewport);
    const float x = static_cast<float>(inList.x() * kTwipsPerPixel);
    const float y = static_cast<float>(inList.y() * kTwipsPerPixel);
    const int16_t button = vbButton(mouse->button());
    const int16_t shift = vbShift(mouse->modifiers());
    const bool entries = view == m_lvwOhjelmat;
    const int row = view->indexAt(inViewport).row();

    if (event->type() == QEvent::MouseButtonPress) {
        m_mouseDown = true;
        m_pressedRow = row;
        m_pressedListRow = entries ? m_ohjelmatModel->rowAt(row) : m_palautaModel->rowAt(row);
        if (entries)
            lvwOhjelmat_MouseDown(button, shift, x, y);
        else
            lvwPalauta_MouseDown(button, shift, x, y);
        return false;
    }

    m_mouseDown = false;
    const int pressed = m_pressedRow;
    m_pressedRow = -1;
    if (entries) {
        if (pressed >= 0 && pressed == row)
            lvwOhjelmat_ItemClick(row);
        lvwOhjelmat_Click();
        lvwOhjelmat_MouseUp(button, shift, x, y);
    } else {
        if (pressed >= 0 && pressed == row)
            lvwPalauta_ItemClick(row);
        lvwPalauta_Click();
        lvwPalauta_MouseUp(button, shift, x, y);
    }
    return false;
}

void frmPoisto::lvwOhjelmat_ItemClick(int row)
{
    ListRow* listRow = m_ohjelmatModel->rowAt(row);
    if (listRow == nullptr)
        return;
    m_state.lvwOhjelmat.setHighlighted(listRow, true);
    nixora::lvwOhjelmat_ItemClick(m_state, listRow);
    syncPopupActions();
}

void frmPoisto::lvwOhjelmat_Click()
{
    nixora::lvwOhjelmat_Click(m_state);
    syncPopupActions();
}

void frmPoisto::lvwOhjelmat_ColumnClick(int column)
{
    nixora::lvwOhjelmat_ColumnClick(m_state, column);
    m_ohjelmatModel->flush();
}

void frmPoisto::lvwOhjelmat_MouseDown(int16_t Button, int16_t Shift, float X, float Y)
{
    Q_UNUSED(Button);
    Q_UNUSED(Shift);
    recordPopupPosition(m_state, kPageLeft, kPageTop, X, Y);
}

void frmPoisto::lvwOhjelmat_MouseUp(int16_t Button, int16_t Shift, float X, float Y)
{
    Q_UNUSED(Shift);
    if (!entryPopupOpensOnMouseUp(m_state, Button))
        return;
    const QPoint inList(qRound(X / kTwipsPerPixel), qRound(Y / kTwipsPerPixel));
    showPopup(m_mnuPopUp, m_lvwOhjelmat->mapToGlobal(inList));
}

void frmPoisto::lvwPalauta_ItemClick(int row)
{
    ListRow* listRow = m_palautaModel->rowAt(row);
    if (listRow == nullptr)
        return;
    m_state.lvwPalauta.setHighlighted(listRow, true);
    nixora::lvwPalauta_ItemClick(m_state, listRow);
    syncPopupActions();
}

void frmPoisto::lvwPalauta_Click()
{
    nixora::lvwPalauta_Click(m_state);
    syncPopupActions();
}

void frmPoisto::lvwPalauta_ColumnClick(int column)
{
    nixora::lvwPalauta_ColumnClick(m_state, column);
    m_palautaModel->flush();
}

void frmPoisto::lvwPalauta_MouseDown(int16_t Button, int16_t Shift, float X, float Y)
{
    Q_UNUSED(Button);
    Q_UNUSED(Shift);
    // The backup page lies exactly where the entry page does.
    recordPopupPosition(m_state, kPageLeft, kPageTop, X, Y);
}

void frmPoisto::lvwPalauta_MouseUp(int16_t Button, int16_t Shift, float X, float Y)
{
    Q_UNUSED(Shift);
    if (!backupPopupOpensOnMouseUp(m_state, Button))
        return;
    const QPoint inList(qRound(X / kTwipsPerPixel), qRound(Y / kTwipsPerPixel));
    showPopup(m_mnuPopUp2, m_lvwPalauta->mapToGlobal(inList));
}

} // namespace nixora
