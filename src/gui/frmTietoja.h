#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace nixora
{

class UiServices;

// The About dialog: product name, version, the maker's notice and two links.
class frmTietoja final : public QDialog
{
    Q_OBJECT
public:
    frmTietoja(UiServices& ui, QWidget* parent = nullptr);

    void cmdOK_Click();
    void cmdRekisteroi_Click();
    void lblWWW_Click();
    void lblEmail_Click();

    // Esc presses "OK".
    void reject() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Form_Load();
    QLabel* newLabel(const QString& name, const QString& text, const QRect& twips);
    void makeLink(QLabel* label);

    UiServices& m_ui;
    QPushButton* m_cmdOK = nullptr;
    QPushButton* m_cmdRekisteroi = nullptr;
    QLabel* m_lblOhjelmanNimi = nullptr;
    QLabel* m_lblVersio = nullptr;
    QLabel* m_lblWWW = nullptr;
    QLabel* m_lblEmail = nullptr;
};

} // namespace nixora
