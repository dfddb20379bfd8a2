#pragma once

#include "Workspace.h"

#include <QDialog>
#include <QPointer>

#include <array>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The Modify dialog: edits the selected entry's name, uninstaller location and version within
// the limits of its lock flags. Loaded for one use; "OK" writes, "Cancel" and Esc write nothing.
class frmMuokkaa final : public QDialog
{
    Q_OBJECT

public:
    frmMuokkaa(nixora::Workspace& ctx, QWidget* parent);

    // The "&Modify..." command: fills the dialog from the selected entry and runs it modally.
    // `shown`, when given, points at the dialog while it is open.
    static void mMuokkaa_Click(nixora::Workspace& ctx, QWidget* parent,
                               QPointer<QWidget>* shown = nullptr);

    void cmdPainike_Click(int Index);

    QLineEdit* txtOhjelma = nullptr;
    QLineEdit* txtPoistoOhjelma = nullptr;
    QLineEdit* txtVersionumero = nullptr;
    QCheckBox* chkVarmuuskopioi = nullptr;
    std::array<QPushButton*, 2> cmdPainike{};

protected:
    void reject() override;

private:
    void Form_Load();
    void buildLayout();
    QLabel* addLabel(const char* objectName, const QString& caption, QRect twips);
    QLineEdit* addTextBox(const char* objectName, QRect twips);

    nixora::Workspace& m_ctx;
};
