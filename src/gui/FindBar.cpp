#include "FindBar.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>

namespace nixora
{

FindBar::FindBar(QWidget* parent) : QToolBar(parent)
{
    setObjectName(QStringLiteral("findBar"));
    setMovable(false);
    setFloatable(false);
    auto* label = new QLabel(QStringLiteral("Find: "), this);
    m_field = new QLineEdit(this);
    m_field->setObjectName(QStringLiteral("findField"));
    m_field->setPlaceholderText(QStringLiteral("Name, uninstaller or version"));
    label->setBuddy(m_field);
    addWidget(label);
    addWidget(m_field);
    m_field->installEventFilter(this);
    connect(m_field, &QLineEdit::textChanged, this, [this] { emit changed(); });
    hide();
}

void FindBar::open()
{
    const bool wasOpen = isOpen();
    // The clear button's icon comes from the icon theme, whose first lookup reads the theme's
    // folders: paid when the bar is first opened, not at every start of the window.
    m_field->setClearButtonEnabled(true);
    show();
    m_field->setFocus(Qt::ShortcutFocusReason);
    m_field->selectAll();
    if (!wasOpen && !m_field->text().isEmpty())
        emit changed();
}

QString FindBar::text() const
{
    return isOpen() ? m_field->text() : QString();
}

bool FindBar::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_field && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        hide();
        emit changed();
        return true;
    }
    return QToolBar::eventFilter(watched, event);
}

} // namespace nixora
