#include "frmMuokkaa.h"

#include "Twips.h"
#include "actions/ModifyEntry.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

using namespace nixora;

namespace
{

// Linux fonts are wider than the ones the layout was drawn for: a caption grows to its text, as
// far as the right edge of the text boxes.
void growToText(QWidget* widget)
{
    const int rightEdge = px(120 + 3735);
    const int wanted = std::min(widget->sizeHint().width(), rightEdge - widget->x());
    if (wanted > widget->width())
        widget->resize(wanted, widget->height());
}

} // namespace

frmMuokkaa::frmMuokkaa(Workspace& ctx, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      m_ctx(ctx)
{
    setObjectName(QStringLiteral("frmMuokkaa"));
    setWindowTitle(QStringLiteral("Modify"));
    setFixedSize(px(5415), px(2820));
    buildLayout();
    Form_Load();
}

QLabel* frmMuokkaa::addLabel(const char* objectName, const QString& caption, QRect twips)
{
    auto* label = new QLabel(caption, this);
    label->setObjectName(QLatin1String(objectName));
    label->setGeometry(twipRect(twips));
    growToText(label);
    return label;
}

QLineEdit* frmMuokkaa::addTextBox(const char* objectName, QRect twips)
{
    auto* box = new QLineEdit(this);
    box->setObjectName(QLatin1String(objectName));
    box->setGeometry(twipRect(twips));
    return box;
}

void frmMuokkaa::buildLayout()
{
    // Created in tab order; each label's access key moves the focus to the box below it.
    QLabel* lblOhjelma =
        addLabel("lblOhjelma", QStringLiteral("&Application Name:"), {120, 120, 1575, 255});
    txtOhjelma = addTextBox("txtOhjelma", {120, 360, 3735, 315});
    QLabel* lblPoistoOhjelma = addLabel(
        "lblPoistoOhjelma", QStringLiteral("&Uninstaller Location:"), {120, 840, 1575, 255});
    txtPoistoOhjelma = addTextBox("txtPoistoOhjelma", {120, 1080, 3735, 315});
    QLabel* lblVersionumero =
        addLabel("lblVersionumero", QStringLiteral("&Version Number:"), {120, 1560, 1335, 255});
    txtVersionumero = addTextBox("txtVersionumero", {120, 1800, 3735, 315});
    lblOhjelma->setBuddy(txtOhjelma);
    lblPoistoOhjelma->setBuddy(txtPoistoOhjelma);
    lblVersionumero->setBuddy(txtVersionumero);

    chkVarmuuskopioi = new QCheckBox(QStringLiteral("&Backup the original data"), this);
    chkVarmuuskopioi->setObjectName(QStringLiteral("chkVarmuuskopioi"));
    chkVarmuuskopioi->setGeometry(twipRect(120, 2400, 2175, 255));
    growToText(chkVarmuuskopioi);

    const QString captions[2] = {QStringLiteral("OK"), QStringLiteral("Cancel")};
    const QRect places[2] = {{4080, 120, 1215, 375}, {4080, 600, 1215, 375}};
    for (int i = 0; i < 2; ++i) {
        cmdPainike[i] = new QPushButton(captions[i], this);
        cmdPainike[i]->setObjectName(QStringLiteral("cmdPainike_%1").arg(i));
        cmdPainike[i]->setGeometry(twipRect(places[i]));
        cmdPainike[i]->setAutoDefault(false);
        connect(cmdPainike[i], &QPushButton::clicked, this, [this, i] { cmdPainike_Click(i); });
    }
    setTabOrder(txtOhjelma, txtPoistoOhjelma);
    setTabOrder(txtPoistoOhjelma, txtVersionumero);
    setTabOrder(txtVersionumero, chkVarmuuskopioi);
    setTabOrder(chkVarmuuskopioi, cmdPainike[0]);
    setTabOrder(cmdPainike[0], cmdPainike[1]);
}

void frmMuokkaa::Form_Load()
{
    m_ctx.services.ui->setMousePointer(kPointerDefault);
    chkVarmuuskopioi->setChecked(modifyBackupPreference(*m_ctx.services.settings));
}

void frmMuokkaa::mMuokkaa_Click(Workspace& ctx, QWidget* parent, QPointer<QWidget>* shown)
{
    UiServices& ui = *ctx.services.ui;
    ui.setMousePointer(kPointerHourglass);
    // Refused before the dialog opens: nothing typed into it could be stored.
    if (refusedWhileReadOnly(ctx, QStringLiteral("The program entry '") +
                                      ctx.state.entry.SelectedEntryName +
                                      QStringLiteral("'\ncannot be modified.")))
        return;
    frmMuokkaa dialog(ctx, parent);
    const SelectedEntry& entry = ctx.state.entry;
    const std::array<std::pair<QLineEdit*, std::pair<QString, bool>>, 3> fields{{
        {dialog.txtOhjelma, {entry.SelectedEntryName, entry.SelectedEntryNameLocked}},
        {dialog.txtPoistoOhjelma,
         {entry.SelectedEntryUninstaller, entry.SelectedEntryUninstallerLocked}},
        {dialog.txtVersionumero, {entry.SelectedEntryVersion, entry.SelectedEntryVersionLocked}},
    }};
    for (const auto& [box, textAndLock] : fields) {
        box->setText(textAndLock.first);
        box->setCursorPosition(0);
        box->setEnabled(!textAndLock.second);
    }
    if (shown)
        *shown = &dialog;
    dialog.exec();
    ui.setMousePointer(kPointerDefault);
}

void frmMuokkaa::cmdPainike_Click(int Index)
{
    UiServices& ui = *m_ctx.services.ui;
    ui.setMousePointer(kPointerHourglass);
    if (Index == 0) {
        setEnabled(false);
        applyModifiedEntry(m_ctx,
                           {txtOhjelma->text(), txtPoistoOhjelma->text(), txtVersionumero->text()},
                           chkVarmuuskopioi->isChecked());
        hide();
        ui.processEvents();
        ui.setMousePointer(kPointerHourglass);
        m_ctx.view().fillEntries();
        ui.setMousePointer(kPointerDefault);
        setEnabled(true);
    }
    ui.setMousePointer(kPointerDefault);
    done(Index == 0 ? QDialog::Accepted : QDialog::Rejected);
}

// Esc and the close box press "Cancel": nothing is written.
void frmMuokkaa::reject()
{
    if (isVisible() && isEnabled())
        cmdPainike_Click(1);
    else
        QDialog::reject();
}
